#pragma once

#include "util/SrwLock.h"
#include "util/UniqueHandle.h"

#include <libtorrent/aux_/posix_storage.hpp>
#include <libtorrent/disk_interface.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kernel {

// The files of one download as the kernel's disk back-end reads and writes
// them: positional reads and writes of a piece's bytes on handles of its
// own, never through a file mapping, with every short transfer completed or
// reported. libtorrent's plain-file storage keeps what is not reading and
// writing: checking the files against a state, creating empty files,
// moving, renaming and deleting them, and the part file of files not
// downloaded.
//
// Reads and writes may run on several threads at once; they hold the files
// lock shared, and everything that closes, moves or renames files holds it
// exclusively (`CFilesChange`), so a handle is never closed under a transfer.
class CGameFiles {
public:
    explicit CGameFiles(const lt::storage_params& params);
    ~CGameFiles();
    CGameFiles(const CGameFiles&) = delete;
    CGameFiles& operator=(const CGameFiles&) = delete;

    const lt::file_storage& Files() const { return m_storage.files(); }

    // `data` is the bytes `offset` bytes into `piece`. The number of bytes
    // moved, or -1 with `error` set (the file and the operation named). A
    // read that reaches a file's end early says so (file_too_short).
    int Write(lt::piece_index_t piece, int offset, lt::span<char> data, lt::storage_error& error);
    int Read(lt::piece_index_t piece, int offset, lt::span<char> data, lt::storage_error& error);

    // Puts what was written through the open handles on the disk itself.
    void FlushWritten();

    // The changes of files beyond reading and writing, each under the files
    // lock held exclusively; handles are closed first, so the file can be
    // moved, renamed or deleted as Windows requires.
    class CFilesChange {
    public:
        explicit CFilesChange(CGameFiles& files);
        lt::aux::posix_storage& Storage() { return m_owner.m_storage; }
        // Flushes and closes every open handle, and forgets what is known
        // of the files, which may have changed since.
        void CloseAll();
        void SetPriorities(const lt::aux::vector<lt::download_priority_t, lt::file_index_t>& priorities);
        void SetSavePath(const std::string& path) { m_owner.m_savePath = path; }

    private:
        CGameFiles& m_owner;
        CExclusiveLock m_lock;
    };

private:
    int ReadWrite(lt::piece_index_t piece, int offset, lt::span<char> data, bool write, lt::storage_error& error);
    int ReadWriteFiles(lt::piece_index_t piece, int offset, lt::span<char> data, bool write,
                       lt::storage_error& error);
    bool ThroughPartFile(lt::piece_index_t piece, int offset, int length) const;
    HANDLE Handle(lt::file_index_t file, bool write, lt::storage_error& error);
    CUniqueHandle Open(lt::file_index_t file, bool write, lt::storage_error& error) const;
    void SetFullSize(HANDLE handle, lt::file_index_t file, lt::storage_error& error) const;

    struct SOpenFile {
        CUniqueHandle handle;
        bool writable = false;
    };

    // Copies of libtorrent's, so that the files outlive the torrent for the
    // jobs still on their way when it is removed.
    lt::file_storage m_files;
    std::unique_ptr<lt::file_storage> m_mappedFiles;
    lt::aux::posix_storage m_storage;
    std::string m_savePath;
    lt::aux::vector<lt::download_priority_t, lt::file_index_t> m_priorities;
    const bool m_allocate;

    CSrwLock m_filesLock;   // shared: a transfer; exclusive: a change of files
    CSrwLock m_openLock;    // the handles below, never held across a transfer
    std::map<lt::file_index_t, SOpenFile> m_open;
    // Read-only handles replaced by writable ones: a transfer may still use
    // them, so they are closed with the next change of files.
    std::vector<CUniqueHandle> m_retired;
};

} // namespace kernel
