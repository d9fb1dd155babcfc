#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

// Damaged copies of real inputs: bit flips, bytes inserted and deleted,
// truncation, splices of two samples, repeated chunks, numbers made huge and
// nesting made deep. The same seed gives the same sequence.
class CMutator {
public:
    CMutator(uint32_t seed, std::vector<std::string> samples, std::string nestOpen, std::string nestClose);

    std::string Next();

private:
    size_t Below(size_t bound) { return bound == 0 ? 0 : std::uniform_int_distribution<size_t>(0, bound - 1)(m_random); }
    void Mutate(std::string& bytes);
    void FlipBits(std::string& bytes);
    void InsertBytes(std::string& bytes);
    void DeleteBytes(std::string& bytes);
    void Truncate(std::string& bytes);
    void Splice(std::string& bytes);
    void RepeatChunk(std::string& bytes);
    void BigNumber(std::string& bytes);
    void DeepNesting(std::string& bytes);

    std::mt19937 m_random;
    std::vector<std::string> m_samples;
    std::string m_nestOpen;
    std::string m_nestClose;
};

// One parser under random input. `check` runs the parser on one input and
// states with gtest what must hold afterwards; returning is surviving.
struct SFuzzTarget {
    std::string name; // also the folder of its regression inputs
    std::vector<std::string> samples;
    std::string nestOpen;
    std::string nestClose;
    std::function<void(const std::string& input)> check;
    int inputs = 3000;
    std::chrono::seconds budget{40};
};

// Replays every regression input of the target (tests/faults/corpus/<name>),
// then the samples, then mutated inputs until `inputs` have run or the budget
// is spent. The input being checked is always on disk, so when the process
// dies on one it is there to be kept; an input that fails a check is saved
// beside it at once.
void RunFuzz(const SFuzzTarget& target);

// The folder of the target's regression inputs, and where found ones go.
std::wstring CorpusFolder(const std::string& name);
std::wstring FoundFolder(const std::string& name);
