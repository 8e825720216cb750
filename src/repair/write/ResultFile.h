#pragma once

#include <string>

namespace repair {

// The result of a run while it is written: a file in the result's folder that no other
// process can see or reach. Where the file system allows it has no name at all (O_TMPFILE);
// else a fresh name of its own ("<result>.XXXXXXXX.tmp", created exclusively, never through
// a link, removed when a signal ends the run). It takes a name only when asked, in one
// rename that replaces whatever had that name: parallel runs each put a whole file in place
// and the last one wins.
class ResultFile {
public:
    // Throws RepairError (output failed) when no such file can be made.
    explicit ResultFile(std::string path);
    // A file neither published nor kept is gone.
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    int fd() const { return fd_; }
    // For messages: the file's own name, or the result's while it has none.
    const std::string& name() const { return own_.empty() ? path_ : own_; }
    // Syncs the file to disk and puts it in place of the result; throws RepairError.
    void publish();
    // After a failure: puts what was written so far under `to` instead, and says where it
    // went or why it could not.
    std::string keepAs(const std::string& to);

private:
    bool openUnnamed();
    void openNamed();
    // The file takes the name `to`, replacing the entry there (a link is replaced, not
    // followed); false, with errno set, when it cannot.
    bool renameTo(const std::string& to);
    bool linkUnnamed(const std::string& to);

    std::string path_;
    std::string own_; // the file's own name; empty when it has none
    int fd_ = -1;
};

} // namespace repair
