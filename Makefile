# The two commands a newcomer needs; each does all the set-up it depends on.
BUILD_DIR := build

.PHONY: all setup build test demo clean

all: build

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja --log-level=WARNING >/dev/null
	@cmake --build $(BUILD_DIR)

test: build
	@bash scripts/test.sh $(BUILD_DIR)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
