# make test   installs what is missing, builds every configuration, runs every test
# make fuzz   runs the libFuzzer harnesses for longer (FUZZ_SECONDS, default 120)
# make bench  builds and runs the benchmarks (optimised native build)
# make run    installs, builds and runs the demo project against the slave simulator
# make dist   builds the release archives into build/dist (Windows zip, Linux tarball)
# make stress the long hardening checks with their figures (about an hour)
# make screenshots photographs the Windows program (build/screenshots, docs/images)
.PHONY: all deps build test test-dde fuzz stress bench run dist screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@bash scripts/build.sh native win

test: deps
	@bash scripts/test.sh

# Only the DDE server test under Wine and Xvfb (make test runs it too).
test-dde: deps
	@bash scripts/build.sh win
	@cd build/win && ctest --output-on-failure -L dde

fuzz: deps
	@bash scripts/fuzz.sh

stress: deps
	@bash scripts/stress.sh

bench: deps
	@bash scripts/bench.sh

run:
	@bash scripts/run-demo.sh

dist:
	@bash scripts/dist.sh

screenshots: deps
	@bash scripts/screenshots.sh

clean:
	rm -rf build/native build/win build/fuzz build/tsan build/release
