// How extraction reaches whoever runs it.
//
// The installer's worker maps these onto its synchronised progress call and
// its thread's stop flag; the host tool draws a progress bar.  Both calls
// come from the thread that runs the extraction.
#pragma once

namespace payload {

class ExtractionObserver {
public:
    // After each chunk that is not its entry's last: `progress` (0..90) is
    // the share of the payload read so far.
    virtual void SyncProgress(int progress) = 0;
    // The installer file could not be read: the whole run should end.
    virtual void RequestTermination() = 0;
    // Asked between the pieces of a solid block's entry: true ends the
    // entry there, unfinished (a person cancelled).
    virtual bool StopRequested() { return false; }

protected:
    ~ExtractionObserver() = default;
};

}  // namespace payload
