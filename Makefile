# The two commands of the README: `make run` and `make test`.
# Both install what is missing first (scripts/deps.sh).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20

.PHONY: all deps build release package package-test run test unit sanitize fuzz format-check layers format tidy bench stress clean

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

unit: build
	cd build/default && ctest --output-on-failure -j $(JOBS)

sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	cd build/sanitize && ctest --output-on-failure -j $(JOBS) -LE gui

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	bash scripts/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

format-check: deps
	bash scripts/format.sh --check

# Every folder includes only the folders below it (docs/architecture.md).
layers:
	bash scripts/check-layers.sh

format: deps
	bash scripts/format.sh

tidy: build
	bash scripts/tidy.sh build/default

bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	bash scripts/bench.sh build/bench

# Not part of `make test`: the widget and end-to-end tests STRESS_RUNS times
# under two competing busy loops; every test that failed even once is listed.
STRESS_RUNS ?= 5
stress: build
	bash scripts/stress.sh build/default $(STRESS_RUNS)

test: format-check layers unit tidy package-test sanitize fuzz
	@echo "make test: all stages passed"

clean:
	rm -rf build
