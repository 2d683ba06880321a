// Output files that appear only when complete: each is written under a
// temporary name beside its destination and renamed onto it at the end, so a
// run that fails part way leaves no half-written file behind. A destination
// that is not a regular file, such as a pipe or /dev/null, is written in place:
// renaming onto it would replace the device or pipe itself.
#pragma once

#include <cstdio>
#include <deque>
#include <string>

class StagedFile {
public:
    explicit StagedFile(std::string destination);
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    // Removes the temporary file unless it has been committed.
    ~StagedFile();

    const std::string& Destination() const { return destination_; }

    // Creates the temporary file; fails when the destination's folder is
    // missing or not writable, or when the destination is a folder.
    bool Open(std::string& error);
    std::FILE* File() const { return file_; }
    // Flushes and closes the temporary file, reporting any failed write.
    bool Close(std::string& error);
    // Renames the closed temporary file onto the destination.
    bool Commit(std::string& error);
    // Removes the committed destination again.
    void Retract();

private:
    std::string destination_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool inPlace_ = false;
    bool committed_ = false;

    bool OpenInPlace(std::string& error);
    bool Adopt(int fd, std::string& error);
};

// Commits every closed file in order; when one fails, the ones already
// committed are removed again so that no partial set is left.
bool CommitAll(std::deque<StagedFile>& files, std::string& error);
