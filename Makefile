# The two commands of the README: `make run` and `make test`.
# Both install what is missing first (scripts/deps.sh).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 10
# Each stage of `make test` says when it ended, so a slow one shows in CI's log.
START := $(shell date +%s)
STAGE = @echo "== $@ done, $$(( $$(date +%s) - $(START) )) s after make began"

.PHONY: all deps build build-gui release package package-test run test unit gui-tests sanitize fuzz format-check layers format tidy bench stress clean

all: build

deps:
	@bash scripts/deps.sh

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

run: release
	@bash scripts/run.sh

# The Debian package of the release build: build/release/package/veloquin_*.deb.
package: release
	rm -f build/release/package/*.deb
	cmake --build --preset release -j $(JOBS) --target package

# The package unpacked and run as a user gets it (scripts/test-package.sh).
package-test: package
	bash scripts/test-package.sh build/release
	$(STAGE)

unit: build
	cd build/default && ctest --output-on-failure -j $(JOBS)

# What `make test` needs of the debug build: the programs, the widget tests
# and the screen tests. The unit and end-to-end tests run once, in the
# sanitize stage, where they also catch what ASan and UBSan see.
build-gui: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS) --target gui_tests screen_e2e_test veloquin-tool factory_calibration \
	  benchmarks

gui-tests: build-gui
	cd build/default && ctest --output-on-failure -j $(JOBS) -L 'gui|screen'
	$(STAGE)

sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	cd build/sanitize && ctest --output-on-failure -j $(JOBS) -LE 'gui|screen'
	$(STAGE)

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS) --target fuzz_targets
	bash scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)
	$(STAGE)

format-check: deps
	bash scripts/format.sh --check
	$(STAGE)

# Every folder includes only the folders below it (docs/architecture.md).
layers:
	bash scripts/check-layers.sh
	$(STAGE)

format: deps
	bash scripts/format.sh

tidy: build-gui
	bash scripts/tidy.sh build/default
	$(STAGE)

bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	bash scripts/bench.sh build/bench

# Not part of `make test`: the widget and end-to-end tests STRESS_RUNS times
# under two competing busy loops; every test that failed even once is listed.
STRESS_RUNS ?= 5
stress: build
	bash scripts/stress.sh build/default $(STRESS_RUNS)

test: format-check layers gui-tests tidy package-test sanitize fuzz
	@echo "make test: all stages passed in $$(( $$(date +%s) - $(START) )) s"

clean:
	rm -rf build
