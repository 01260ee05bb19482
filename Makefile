# The two commands: `make run` runs the shield under Wine, `make test` builds and tests everything.
# `make package` builds the installer, build/windows/Sentrel4-Setup[-testkey].exe.
.PHONY: run test bench package
run:
	bash scripts/run.sh
test:
	bash scripts/test.sh
bench:
	bash scripts/bench.sh
package:
	bash scripts/package.sh
