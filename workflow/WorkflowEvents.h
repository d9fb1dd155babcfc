#pragma once

#include <cstdint>

// Where a download stands, as the window shows it. The workflow works it out
// from its jobs, its flags and the kernel's status, in this order of
// priority: a download not started is Ready whatever went on in the
// background, a completed one stays Completed, a pause holds over a failure,
// and a failure over work still under way.
enum class WorkflowState {
    Ready,       // the player has not started
    Completed,   // the game is complete
    Paused,      // paused by the player, or by the workflow for want of room
    Failed,      // a fetch, the kernel or the downloader failed: the status says which
    Preparing,   // fetching the description or the torrent, starting the kernel
    Downloading, // a downloader runs (checking, downloading, or in error)
};

// What the download workflow tells its owner. Each call comes at the end of
// one of the workflow's own calls, once its work is done; none of them may
// call back into the workflow to change it.
class IWorkflowEvents {
public:
    virtual void OnStateChanged(WorkflowState state) = 0;
    // The download was paused: the drive lacks `missingBytes` of what the
    // rest of a game of `gameSize` bytes needs.
    virtual void OnDiskShort(uint64_t missingBytes, uint64_t gameSize) = 0;
    // The kernel raised the system's connection limit, which takes effect
    // after a restart of the computer.
    virtual void OnRestartAdvised() = 0;

protected:
    ~IWorkflowEvents() = default;
};
