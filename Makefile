# The two commands: `make run` runs the shield under Wine, `make test` builds and tests everything.
.PHONY: run test bench
run:
	bash scripts/run.sh
test:
	bash scripts/test.sh
bench:
	bash scripts/bench.sh
