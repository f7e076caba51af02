# The two everyday commands: `make run` and `make test`.
BUILD ?= build

.PHONY: deps configure build run test test-sanitize bench clean format

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

# The whole suite again, built with AddressSanitizer, LeakSanitizer and UBSan.
test-sanitize: deps
	@[ -f build-sanitize/build.ninja ] || cmake --preset sanitize
	cmake --build build-sanitize
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		scripts/run-tests build-sanitize

bench: build
	cmake --build $(BUILD) --target benchmarks
	scripts/with-test-env $(BUILD)/bench/tonvik_bench

clean:
	rm -rf $(BUILD) build-sanitize

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
