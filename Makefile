# The two commands a newcomer needs; each does all the set-up it depends on.
BUILD_DIR := build

.PHONY: all setup build test demo clean

all: build

setup:
	@bash scripts/setup.sh

# A code-signing certificate and its key, from the command line or the
# environment, sign the build (README, "For distributors"); empty: unsigned.
KORVANE_SIGN_CERT ?=
KORVANE_SIGN_KEY ?=

build: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja --log-level=NOTICE >/dev/null \
		-DKORVANE_SIGN_CERT="$(if $(KORVANE_SIGN_CERT),$(abspath $(KORVANE_SIGN_CERT)))" \
		-DKORVANE_SIGN_KEY="$(if $(KORVANE_SIGN_KEY),$(abspath $(KORVANE_SIGN_KEY)))"
	@cmake --build $(BUILD_DIR)

test: build
	@bash scripts/test.sh $(BUILD_DIR)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
