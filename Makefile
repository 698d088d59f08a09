# `make run` and `make test` set up everything they need first.
PRESET ?= dev
BUILD_DIR := build/$(PRESET)

.PHONY: run test build deps format bench package

deps:
	@./scripts/install-deps.sh

build: deps
	@[ -f $(BUILD_DIR)/build.ninja ] || cmake --preset $(PRESET)
	@cmake --build --preset $(PRESET)

run: build
	@./scripts/run.sh $(BUILD_DIR)

test: build
	@./scripts/run-tests.sh $(PRESET)

bench: build
	@./benchmarks/run-all.sh $(BUILD_DIR)

format:
	@cmake --build --preset $(PRESET) --target format

# A Debian package of a release build: build/package/kronvik_<version>_<arch>.deb
package: deps
	@[ -f build/package/build.ninja ] || cmake --preset package
	@cmake --build --preset package
