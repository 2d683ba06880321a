#include "tools/frames/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Tries a few names in case an earlier run was killed and left one behind.
constexpr int TemporaryNameAttempts = 100;

std::string Reason(const std::string& path, int error) {
    return "cannot write '" + path + "': " + std::strerror(error);
}

}  // namespace

StagedFile::StagedFile(std::string destination) : destination_(std::move(destination)) {}

StagedFile::~StagedFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (!temporary_.empty() && !committed_) {
        unlink(temporary_.c_str());
    }
}

bool StagedFile::Open(std::string& error) {
    struct stat existing {};
    if (stat(destination_.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            error = Reason(destination_, EISDIR);
            return false;
        }
        if (!S_ISREG(existing.st_mode)) {
            return OpenInPlace(error);
        }
    }
    std::string stem = destination_ + ".tmp-" + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        std::string name = stem + std::to_string(attempt);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            error = Reason(destination_, errno);
            return false;
        }
        temporary_ = name;
        return Adopt(fd, error);
    }
    error = Reason(destination_, EEXIST);
    return false;
}

bool StagedFile::OpenInPlace(std::string& error) {
    int fd = open(destination_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Reason(destination_, errno);
        return false;
    }
    inPlace_ = true;
    return Adopt(fd, error);
}

bool StagedFile::Adopt(int fd, std::string& error) {
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        error = Reason(destination_, errno);
        close(fd);
        return false;
    }
    return true;
}

bool StagedFile::Close(std::string& error) {
    bool failed = std::ferror(file_) != 0;
    int closeError = std::fclose(file_) != 0 ? errno : 0;
    file_ = nullptr;
    if (failed || closeError != 0) {
        error = Reason(destination_, closeError != 0 ? closeError : EIO);
        return false;
    }
    return true;
}

bool StagedFile::Commit(std::string& error) {
    if (!inPlace_ && rename(temporary_.c_str(), destination_.c_str()) != 0) {
        error = Reason(destination_, errno);
        return false;
    }
    committed_ = true;
    return true;
}

void StagedFile::Retract() {
    if (committed_ && !inPlace_) {
        unlink(destination_.c_str());
    }
}

bool CommitAll(std::deque<StagedFile>& files, std::string& error) {
    for (auto file = files.begin(); file != files.end(); ++file) {
        if (!file->Commit(error)) {
            for (auto done = files.begin(); done != file; ++done) {
                done->Retract();
            }
            return false;
        }
    }
    return true;
}
