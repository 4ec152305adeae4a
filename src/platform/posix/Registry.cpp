#include "platform/CurrentUserRegistry.h"
#include "platform/ProgramFolders.h"
#include "platform/posix/RegistryFile.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/ReplaceFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

enum class StoreState { Missing, Parsed, Damaged };

// Larger than any hive the program or a user makes, small enough to read at once.
constexpr off_t MaxStoreSize = 64 << 20;

struct LoadedStore {
    StoreState state = StoreState::Missing;
    RegistryFile file;
};

// Which file was read: a write renames a new file over the old one, so another inode, size or
// time means another content.
struct StoreIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static StoreIdentity Of(const struct stat& info) {
        return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }
    bool operator==(const StoreIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// The store as last read or written by one accessor, so that an operation (open, query, read)
// parses the file once; a file changed in between by another process is read afresh.
struct StoreCache {
    std::optional<StoreIdentity> identity;
    LoadedStore store;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool MakeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    if (folder != "/" && folder != "." && !MakeFolders(FolderOf(folder)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

const LoadedStore& Load(const std::string& path, StoreCache& cache) {
    static const LoadedStore missing{StoreState::Missing, {}};
    static const LoadedStore damaged{StoreState::Damaged, {}};
    // Non-blocking: a FIFO in the store's place must not hang the program (holding the lock).
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        // A store that is not there yet is an empty hive; one that cannot be read is not.
        cache.identity.reset();
        return errno == ENOENT ? missing : damaged;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > MaxStoreSize)
        return damaged;
    const StoreIdentity identity = StoreIdentity::Of(info);
    if (cache.identity == identity)
        return cache.store;

    cache.identity.reset();
    std::string text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return damaged;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(MaxStoreSize))
            return damaged; // grew while being read
    }
    std::optional<RegistryFile> file = RegistryFile::Parse(text);
    cache.store.state = file ? StoreState::Parsed : StoreState::Damaged;
    cache.store.file = file ? std::move(*file) : RegistryFile{};
    cache.identity = identity;
    return cache.store;
}

enum class Change { Unchanged, Changed, Refused };
enum class Outcome { Done, Damaged, Failed };

// One read-modify-write of the store, under its lock so that no other writer's change is lost.
Outcome Modify(const std::string& path, StoreCache& cache,
               const std::function<Change(RegistryFile&)>& change) {
    if (!MakeFolders(FolderOf(path)))
        return Outcome::Failed;
    const std::string lockPath = path + ".lock";
    const FileDescriptor lock(
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
    struct stat lockInfo {};
    if (lock.get() < 0 || ::fstat(lock.get(), &lockInfo) != 0 || !S_ISREG(lockInfo.st_mode))
        return Outcome::Failed;
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return Outcome::Failed;
    }
    const LoadedStore& loaded = Load(path, cache);
    if (loaded.state == StoreState::Damaged)
        return Outcome::Damaged;
    const bool existed = loaded.state == StoreState::Parsed;
    RegistryFile file = loaded.file;
    switch (change(file)) {
    case Change::Refused:
        return Outcome::Failed;
    case Change::Unchanged:
        if (existed)
            return Outcome::Done;
        break;
    case Change::Changed:
        break;
    }
    if (ReplaceFileAtomically(path, file.format(), 0600) != 0)
        return Outcome::Failed;
    // What was written is what the next read of this accessor finds, unless another process
    // writes in between.
    struct stat written {};
    cache.identity.reset();
    if (::stat(path.c_str(), &written) == 0) {
        cache.store = {StoreState::Parsed, std::move(file)};
        cache.identity = StoreIdentity::Of(written);
    }
    return Outcome::Done;
    // The lock goes with its descriptor.
}

class StoreKey : public RegistryKey {
public:
    StoreKey(std::string storePath, std::shared_ptr<StoreCache> cache, std::string keyPath)
        : storePath_(std::move(storePath)), cache_(std::move(cache)), keyPath_(std::move(keyPath)) {
    }

    const std::string& keyPath() const { return keyPath_; }

    bool setValue(const std::string& name, RegistryValueType type, std::string_view data) override {
        const Outcome outcome = Modify(storePath_, *cache_, [&](RegistryFile& file) {
            RegistryFileKey& key = file.ensureKey(keyPath_);
            if (const RegistryFileValue* old = key.findValue(name);
                old && old->type == type && old->data == data)
                return Change::Unchanged;
            return key.setValue(name, type, data) ? Change::Changed : Change::Refused;
        });
        return outcome == Outcome::Done;
    }

    std::optional<RegistryDataInfo> queryValueInfo(const std::string& name) override {
        const RegistryFileValue* value = find(name);
        if (!value)
            return std::nullopt;
        return RegistryDataInfo{value->type, value->data.size()};
    }

    std::optional<RegistryValue> readValue(const std::string& name) override {
        const RegistryFileValue* value = find(name);
        if (!value)
            return std::nullopt;
        return RegistryValue{value->type, value->data};
    }

private:
    const RegistryFileValue* find(const std::string& name) {
        const LoadedStore& store = Load(storePath_, *cache_);
        if (store.state != StoreState::Parsed)
            return nullptr;
        const RegistryFileKey* key = store.file.findKey(keyPath_);
        return key ? key->findValue(name) : nullptr;
    }

    std::string storePath_;
    std::shared_ptr<StoreCache> cache_;
    std::string keyPath_;
};

class FileStoreBackend : public RegistryBackend {
public:
    explicit FileStoreBackend(std::string path)
        : path_(std::move(path)), cache_(std::make_shared<StoreCache>()) {}

    std::unique_ptr<RegistryKey> openKey(RegistryKey* parent, const std::string& path,
                                         bool create) override {
        std::string full = path;
        if (parent) {
            const std::string& base = static_cast<StoreKey*>(parent)->keyPath();
            full = base.empty() ? path : path.empty() ? base : base + "\\" + path;
        }
        // A path the registry would refuse (empty names, too deep, names too long) is a key
        // that cannot be opened or created.
        const std::optional<std::vector<std::string>> parts = SplitKeyPath(full);
        if (!parts)
            return nullptr;
        std::string normal;
        for (const std::string& part : *parts)
            normal += (normal.empty() ? "" : "\\") + part;

        if (create) {
            std::string spelled = normal;
            const Outcome outcome = Modify(path_, *cache_, [&](RegistryFile& file) {
                const bool existed = normal.empty() || file.findKey(normal) != nullptr;
                spelled = file.ensureKey(normal).path;
                return existed ? Change::Unchanged : Change::Changed;
            });
            // When the store cannot be written (damaged, no lock, read-only) the key is handed
            // out all the same, so that the write that follows reports the failure instead of
            // being skipped without a word.
            return std::make_unique<StoreKey>(path_, cache_,
                                              outcome == Outcome::Done ? spelled : normal);
        }

        const LoadedStore& store = Load(path_, *cache_);
        if (store.state == StoreState::Damaged)
            return nullptr;
        if (normal.empty())
            return std::make_unique<StoreKey>(path_, cache_, normal);
        const RegistryFileKey* key =
            store.state == StoreState::Parsed ? store.file.findKey(normal) : nullptr;
        if (!key)
            return nullptr;
        return std::make_unique<StoreKey>(path_, cache_, key->path);
    }

private:
    std::string path_;
    std::shared_ptr<StoreCache> cache_;
};

} // namespace

std::string RegistryStorePath() {
    return ConfigurationFolder() + "HKEY_CURRENT_USER.reg";
}

std::unique_ptr<RegistryBackend> RegistryFileStore(const std::string& path) {
    return std::make_unique<FileStoreBackend>(path);
}

RegistryFactory CurrentUserRegistry() {
    return
        [] { return std::make_unique<RegistryAccessor>(RegistryFileStore(RegistryStorePath())); };
}

} // namespace tarnwick
