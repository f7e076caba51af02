# The two everyday commands: `make run` and `make test`.
BUILD ?= build

.PHONY: deps configure build run test bench clean format

deps:
	@scripts/install-deps

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake --preset default

build: configure
	cmake --build $(BUILD)

run: build
	$(BUILD)/tonvik $(ARGS)

test: build
	scripts/run-tests $(BUILD)

bench: build
	cmake --build $(BUILD) --target benchmarks
	scripts/with-test-env $(BUILD)/bench/tonvik_bench

clean:
	rm -rf $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
