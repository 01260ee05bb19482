# The two commands: `make run` runs the shield under Wine, `make test` builds and tests everything.
# `make flood` runs the alert flood benchmark under Wine (a few minutes).
# `make package` builds the installer, build/windows/Sentrel4-Setup[-testkey].exe.
.PHONY: run test bench flood package
run:
	bash scripts/run.sh
test:
	bash scripts/test.sh
bench:
	bash scripts/bench.sh
flood:
	bash scripts/flood.sh
package:
	bash scripts/package.sh
