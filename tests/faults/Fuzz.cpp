#include "Fuzz.h"

#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

const auto kOneInputLimit = std::chrono::seconds(30);

const char* const kBigNumbers[] = {"0", "-1", "-0", "2147483647", "2147483648", "-2147483649", "4294967295",
                                   "4294967296", "9223372036854775807", "18446744073709551616",
                                   "99999999999999999999999999999999", "1e308", "-1e309", "1.5", "0x7fffffff"};

uint32_t Fnv1a(const std::string& bytes)
{
    uint32_t hash = 2166136261u;
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::vector<std::wstring> FilesOf(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(folder + L"\\" + found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Ends the process when one input keeps the parser busy for too long: a
// hang would otherwise hold the test until ctest gives up on it.
class CWatchdog {
public:
    explicit CWatchdog(std::wstring currentInput) : m_currentInput(std::move(currentInput))
    {
        m_thread = std::thread([this] { Watch(); });
    }
    ~CWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void Tick() { ++m_ticks; }

private:
    void Watch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        long seen = -1;
        while (!m_wake.wait_for(lock, kOneInputLimit, [this] { return m_stop; })) {
            if (m_ticks == seen) {
                std::cerr << "one input ran for more than " << kOneInputLimit.count() << " s; it is in "
                          << Narrow(m_currentInput) << std::endl;
                ::TerminateProcess(::GetCurrentProcess(), 3);
            }
            seen = m_ticks;
        }
    }

    std::wstring m_currentInput;
    std::atomic<long> m_ticks{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Runs one input; false once it failed a check, after keeping it.
bool CheckOne(const SFuzzTarget& target, const std::string& input, const std::wstring& currentInput,
              CWatchdog& watchdog)
{
    WriteFileBytes(currentInput, input);
    watchdog.Tick();
    target.check(input);
    watchdog.Tick();
    if (!::testing::Test::HasFailure())
        return true;
    const std::wstring kept = FoundFolder(target.name) + L"\\" + std::to_wstring(Fnv1a(input)) + L".bin";
    WriteFileBytes(kept, input);
    ADD_FAILURE() << "the input is kept in " << Narrow(kept) << "; add it to tests/faults/corpus/" << target.name;
    return false;
}

} // namespace

CMutator::CMutator(uint32_t seed, std::vector<std::string> samples, std::string nestOpen, std::string nestClose)
    : m_random(seed), m_samples(std::move(samples)), m_nestOpen(std::move(nestOpen)),
      m_nestClose(std::move(nestClose))
{
}

std::string CMutator::Next()
{
    std::string bytes = m_samples[Below(m_samples.size())];
    for (size_t count = 1 + Below(3); count > 0; --count)
        Mutate(bytes);
    return bytes;
}

void CMutator::Mutate(std::string& bytes)
{
    switch (Below(10)) {
    case 0:
    case 1: FlipBits(bytes); break;
    case 2: InsertBytes(bytes); break;
    case 3: DeleteBytes(bytes); break;
    case 4: Truncate(bytes); break;
    case 5: Splice(bytes); break;
    case 6: RepeatChunk(bytes); break;
    case 7:
    case 8: BigNumber(bytes); break;
    default: DeepNesting(bytes); break;
    }
}

void CMutator::FlipBits(std::string& bytes)
{
    if (bytes.empty())
        return;
    for (size_t count = 1 + Below(8); count > 0; --count)
        bytes[Below(bytes.size())] ^= static_cast<char>(1u << Below(8));
}

void CMutator::InsertBytes(std::string& bytes)
{
    static const char kSpecial[] = {'\0', '\xff', '\x80', '"', '\\', '<', '>', '{', '}', '[', ']', ':', 'e', '/'};
    std::string inserted;
    for (size_t count = 1 + Below(16); count > 0; --count)
        inserted += Below(2) ? kSpecial[Below(sizeof kSpecial)] : static_cast<char>(Below(256));
    bytes.insert(Below(bytes.size() + 1), inserted);
}

void CMutator::DeleteBytes(std::string& bytes)
{
    if (bytes.empty())
        return;
    const size_t at = Below(bytes.size());
    bytes.erase(at, 1 + Below(std::min<size_t>(64, bytes.size() - at)));
}

void CMutator::Truncate(std::string& bytes) { bytes.resize(Below(bytes.size() + 1)); }

void CMutator::Splice(std::string& bytes)
{
    const std::string& other = m_samples[Below(m_samples.size())];
    bytes = bytes.substr(0, Below(bytes.size() + 1)) + other.substr(Below(other.size() + 1));
}

void CMutator::RepeatChunk(std::string& bytes)
{
    if (bytes.empty())
        return;
    const size_t at = Below(bytes.size());
    const std::string chunk = bytes.substr(at, 1 + Below(std::min<size_t>(256, bytes.size() - at)));
    std::string repeated;
    for (size_t count = 2 + Below(Below(2) ? 10 : 5000); count > 0; --count)
        repeated += chunk;
    bytes.insert(at, repeated);
}

// A run of digits (or any place, when there is none) becomes an extreme number.
void CMutator::BigNumber(std::string& bytes)
{
    size_t at = Below(bytes.size() + 1);
    const size_t digit = bytes.find_first_of("0123456789", at);
    size_t length = 0;
    if (digit != std::string::npos) {
        at = digit;
        length = bytes.find_first_not_of("0123456789", at);
        length = (length == std::string::npos ? bytes.size() : length) - at;
    }
    bytes.replace(at, length, kBigNumbers[Below(sizeof kBigNumbers / sizeof kBigNumbers[0])]);
}

void CMutator::DeepNesting(std::string& bytes)
{
    static const size_t kDepths[] = {64, 1000, 20000, 200000};
    const size_t depth = kDepths[Below(4)];
    const size_t at = Below(bytes.size() + 1);
    std::string open, close;
    for (size_t i = 0; i < depth; ++i)
        open += m_nestOpen;
    if (Below(2))
        for (size_t i = 0; i < depth; ++i)
            close += m_nestClose;
    bytes.insert(at, open + close);
}

std::wstring CorpusFolder(const std::string& name)
{
    return WindowsPathOfHostPath(std::string(KORVANE_FAULTS_CORPUS_DIR) + "/" + name);
}

std::wstring FoundFolder(const std::string& name)
{
    const std::wstring folder = WindowsPathOfHostPath(KORVANE_FAULTS_FOUND_DIR);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\" + std::wstring(name.begin(), name.end())).c_str(), nullptr);
    return folder + L"\\" + std::wstring(name.begin(), name.end());
}

void RunFuzz(const SFuzzTarget& target)
{
    const std::wstring currentInput = FoundFolder(target.name) + L"\\current-input.bin";
    std::cout << "the input being checked is always in " << Narrow(currentInput) << std::endl;
    CWatchdog watchdog(currentInput);

    for (const std::wstring& file : FilesOf(CorpusFolder(target.name))) {
        SCOPED_TRACE("regression input " + Narrow(file));
        if (!CheckOne(target, ReadFileBytes(file), currentInput, watchdog))
            return;
    }
    for (const std::string& sample : target.samples) {
        SCOPED_TRACE("an unchanged sample");
        if (!CheckOne(target, sample, currentInput, watchdog))
            return;
    }

    CMutator mutator(Fnv1a(target.name), target.samples, target.nestOpen, target.nestClose);
    const auto deadline = std::chrono::steady_clock::now() + target.budget;
    int done = 0;
    for (; done < target.inputs && std::chrono::steady_clock::now() < deadline; ++done) {
        SCOPED_TRACE("mutated input " + std::to_string(done));
        if (!CheckOne(target, mutator.Next(), currentInput, watchdog))
            return;
    }
    std::cout << target.name << ": " << done << " mutated inputs survived" << std::endl;
    ::DeleteFileW(currentInput.c_str());
}
