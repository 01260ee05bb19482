# The two commands: `make run` runs the shield under Wine, `make test` builds and tests everything.
# `make flood` runs the alert flood benchmark under Wine (a few minutes).
# `make noise` plays a week of an ordinary desktop against the shield under Wine and prints its alerts.
# `make soak` leaves the shield running for SOAK_MINUTES (default 30) while threats come and go.
# `make package` builds the installer, build/windows/Sentrel4-Setup[-testkey].exe.
.PHONY: run test bench flood noise soak package
run:
	bash scripts/run.sh
test:
	bash scripts/test.sh
bench:
	bash scripts/bench.sh
flood:
	bash scripts/flood.sh
noise:
	bash scripts/noise.sh
soak:
	bash scripts/soak.sh
package:
	bash scripts/package.sh
