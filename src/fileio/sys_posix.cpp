// POSIX file calls. Windows sharing modes are imitated with flock(): readers
// take a shared lock, writers an exclusive one, both non-blocking, so an open
// that Windows would refuse for a sharing violation fails here as well.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "base/os.h"
#include "fileio/sys.h"

namespace sys {
namespace {

// Backslash paths become slash paths at the moment the system is called. A
// name too long for the buffer becomes the empty name, which every call
// refuses: cutting it would name another file.
struct NativePath {
    char text[kFileNameMax * 2];
    explicit NativePath(const char* name) {
        size_t n = std::strlen(name);
        if (n >= sizeof text) n = 0;
        for (size_t i = 0; i < n; ++i) text[i] = name[i] == '\\' ? '/' : name[i];
        text[n] = 0;
    }
};

int fd(FileHandle h) {
    return static_cast<int>(h - 1);
}

}  // namespace

FileHandle open(const char* name, OpenKind kind) {
    NativePath path(name);
    int flags = O_CLOEXEC;
    int lock = LOCK_EX;
    switch (kind) {
        case OpenKind::Read:
            flags |= O_RDONLY;
            lock = LOCK_SH;
            break;
        case OpenKind::Create:
            flags |= O_WRONLY | O_CREAT;
            break;
        case OpenKind::Update:
            flags |= O_RDWR | O_CREAT;
            break;
    }
    // Non-blocking, so that a FIFO without a partner is refused, not waited for.
    int d;
    do {
        d = ::open(path.text, flags | O_NONBLOCK, 0666);
    } while (d < 0 && errno == EINTR);
    if (d < 0) return 0;
    struct stat st;
    if (fstat(d, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(d, F_SETFL, 0) != 0 ||
        flock(d, lock | LOCK_NB) != 0) {
        ::close(d);
        return 0;
    }
    // Truncate only once the lock is ours, so a refused create destroys nothing.
    if (kind == OpenKind::Create && ftruncate(d, 0) != 0) {
        ::close(d);
        return 0;
    }
    return static_cast<FileHandle>(d) + 1;
}

FileHandle createNew(const char* name, const char* modeFrom, bool readBack) {
    NativePath path(name);
    int access = readBack ? O_RDWR : O_WRONLY;
    int d;
    do {
        d = ::open(path.text, access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (d < 0 && errno == EINTR);
    if (d < 0) return 0;
    struct stat st;
    if (modeFrom && lstat(NativePath(modeFrom).text, &st) == 0 && S_ISREG(st.st_mode)) {
        fchmod(d, st.st_mode & 07777);
    }
    if (flock(d, LOCK_EX | LOCK_NB) != 0) {
        ::close(d);
        unlink(path.text);
        return 0;
    }
    return static_cast<FileHandle>(d) + 1;
}

bool rename(const char* from, const char* to) {
    return ::rename(NativePath(from).text, NativePath(to).text) == 0;
}

bool flush(FileHandle h) {
    return fsync(fd(h)) == 0;
}

#if defined(__linux__)
namespace {

// Starts the disk writing of files that wait for a transaction's switch
// point, on a thread of its own: submitting a file's pages costs the
// submitter tens of microseconds (block allocation, the disk's queue), which
// would otherwise come out of the thread that unpacks. The thread reopens
// each file by name, so it shares no descriptor and no lock with the writer.
// It is only a head start: syncVolume makes everything durable whatever the
// thread got to, and drops what it has not started yet.
//
// The one instance is never destroyed, so the process ends without waiting
// for it. A forked child has no such thread (only the parent's memory of
// it): there the caller starts the writing itself.
class Flusher {
  public:
    // False when the caller is to start the writing itself.
    bool add(const char* name) {
        if (!inOwner()) return false;
        int cpu = platform::currentCpu();
        {
            std::lock_guard<std::mutex> lock(m_);
            waiting_.emplace_back(name);
            if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
            // Off the submitter's processor, which is busy writing the next file.
            if (cpu != cpu_) {
                cpu_ = cpu;
                platform::keepThreadOff(thread_, cpu);
            }
        }
        wake_.notify_one();
        return true;
    }
    void drop() {
        if (!inOwner()) return;
        std::lock_guard<std::mutex> lock(m_);
        waiting_.clear();
    }

  private:
    bool inOwner() const { return getpid() == owner_; }
    void loop() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            wake_.wait(lock, [this] { return !waiting_.empty(); });
            std::string name = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            int d = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (d >= 0) {  // else renamed or removed meanwhile: nothing to start
                struct stat st;
                if (fstat(d, &st) == 0 && S_ISREG(st.st_mode)) {
                    sync_file_range(d, 0, 0, SYNC_FILE_RANGE_WRITE);
                }
                ::close(d);
            }
            lock.lock();
        }
    }

    const pid_t owner_ = getpid();
    std::mutex m_;
    std::condition_variable wake_;
    std::deque<std::string> waiting_;
    std::thread thread_;
    int cpu_ = -1;
};

Flusher& flusher() {
    static Flusher* f = new Flusher;
    return *f;
}

}  // namespace

#endif

bool flushPending(FileHandle h, const char* name) {
#if defined(__linux__)
    if (!flusher().add(NativePath(name).text)) sync_file_range(fd(h), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)h;
    (void)name;
#endif
    return true;
}

bool syncVolume(const char* dir) {
#if defined(__linux__)
    flusher().drop();
#endif
    int d = ::open(NativePath(dir).text, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d < 0) return false;
    bool done = syncfs(d) == 0;
    ::close(d);
    return done;
}

uint32_t processId() {
    return static_cast<uint32_t>(getpid());
}

void close(FileHandle h) {
    ::close(fd(h));
}

int64_t read(FileHandle h, void* buffer, uint32_t bytes) {
    ssize_t n;
    do {
        n = ::read(fd(h), buffer, bytes);
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t readAt(FileHandle h, void* buffer, uint32_t bytes, int64_t offset) {
    if (offset < 0) return -1;
    ssize_t n;
    do {
        n = ::pread(fd(h), buffer, bytes, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t write(FileHandle h, const void* buffer, uint32_t bytes) {
    ssize_t n;
    do {
        n = ::write(fd(h), buffer, bytes);
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t seek(FileHandle h, int32_t distance, int origin) {
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t pos = lseek(fd(h), distance, kWhence[origin]);
    // Positions are 32-bit in this system.
    if (pos < 0 || pos > 0xFFFFFFFELL) return -1;
    return pos;
}

int64_t size(FileHandle h) {
    struct stat st;
    if (fstat(fd(h), &st) != 0 || st.st_size > 0xFFFFFFFELL) return -1;
    return st.st_size;
}

bool writable(const char* name) {
    return access(NativePath(name).text, W_OK) == 0;
}

bool exists(const char* name) {
    struct stat st;
    return stat(NativePath(name).text, &st) == 0;
}

PathKind kind(const char* name) {
    struct stat st;
    if (lstat(NativePath(name).text, &st) != 0) return PathKind::Missing;
    if (S_ISLNK(st.st_mode)) return PathKind::Link;
    if (S_ISDIR(st.st_mode)) return PathKind::Directory;
    return S_ISREG(st.st_mode) ? PathKind::File : PathKind::Other;
}

bool sameFile(const char* a, const char* b) {
    struct stat sa, sb;
    return stat(NativePath(a).text, &sa) == 0 && stat(NativePath(b).text, &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool remove(const char* name) {
    return unlink(NativePath(name).text) == 0;
}

bool makeDir(const char* name) {
    return mkdir(NativePath(name).text, 0777) == 0;
}

bool makePrivateDir(const char* name) {
    return mkdir(NativePath(name).text, 0700) == 0;
}

bool removeDir(const char* name) {
    return rmdir(NativePath(name).text) == 0;
}

bool isDir(const char* name) {
    struct stat st;
    return lstat(NativePath(name).text, &st) == 0 && S_ISDIR(st.st_mode);
}

bool listDir(const char* dir, std::vector<std::string>& names) {
    DIR* d = opendir(NativePath(dir).text);
    if (d == nullptr) return false;
    while (const dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    closedir(d);
    return true;
}

bool processAlive(uint32_t pid) {
    // EPERM: it exists, but belongs to someone else.
    return pid != 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// "/usr/x" is an absolute path here, as "C:\x" is on Windows. A leading
// backslash keeps its Windows meaning (root of the current drive: refused).
bool isRootSeparator(const char* path, size_t i) {
    return (i == 0 && path[0] == '/') || (i > 0 && path[i - 1] == ':');
}

}  // namespace sys
