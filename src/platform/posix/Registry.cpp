#include "platform/CurrentUserRegistry.h"
#include "platform/posix/RegistryFile.h"
#include "platform/posix/RegistryStore.h"
#include "platform/posix/ReplaceFile.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

enum class StoreState { Missing, Parsed, Damaged };

struct LoadedStore {
    StoreState state = StoreState::Missing;
    RegistryFile file;
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

LoadedStore Load(const std::string& path) {
    LoadedStore store;
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        // A store that is not there yet is an empty hive; one that cannot be read is not.
        store.state = errno == ENOENT ? StoreState::Missing : StoreState::Damaged;
        return store;
    }
    std::string text;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            store.state = StoreState::Damaged;
            return store;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::optional<RegistryFile> file = RegistryFile::Parse(text);
    if (!file) {
        store.state = StoreState::Damaged;
        return store;
    }
    store.state = StoreState::Parsed;
    store.file = std::move(*file);
    return store;
}

// Replaces the file at path with text: a crash leaves either the old file or the new one.
bool Replace(const std::string& path, const std::string& text) {
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    return ReplaceFileAtomically(path, text, mode) == 0;
}

// Temporary files of writers that died before their rename. Only the holder of the lock writes
// one, so while the lock is held every one found is left over.
void RemoveLeftovers(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string prefix = path.substr(folder.size() + 1) + ".";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
            name.substr(prefix.size()) != "lock")
            ::unlinkat(::dirfd(dir), name.c_str(), 0);
    }
    ::closedir(dir);
}

enum class Change { Unchanged, Changed, Refused };
enum class Outcome { Done, Damaged, Failed };

// One read-modify-write of the store, under its lock so that no other writer's change is lost.
Outcome Modify(const std::string& path, const std::function<Change(RegistryFile&)>& change) {
    if (!MakeFolders(FolderOf(path)))
        return Outcome::Failed;
    const std::string lockPath = path + ".lock";
    const FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0)
        return Outcome::Failed;
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return Outcome::Failed;
    }
    RemoveLeftovers(path);
    LoadedStore store = Load(path);
    if (store.state == StoreState::Damaged)
        return Outcome::Damaged;
    switch (change(store.file)) {
    case Change::Refused:
        return Outcome::Failed;
    case Change::Unchanged:
        if (store.state == StoreState::Parsed)
            return Outcome::Done;
        break;
    case Change::Changed:
        break;
    }
    return Replace(path, store.file.format()) ? Outcome::Done : Outcome::Failed;
    // The lock goes with its descriptor.
}

class StoreKey : public RegistryKey {
public:
    StoreKey(std::string storePath, std::string keyPath)
        : storePath_(std::move(storePath)), keyPath_(std::move(keyPath)) {}

    const std::string& keyPath() const { return keyPath_; }

    bool setValue(const std::string& name, RegistryValueType type, std::string_view data) override {
        const Outcome outcome = Modify(storePath_, [&](RegistryFile& file) {
            RegistryFileKey& key = file.ensureKey(keyPath_);
            if (const RegistryFileValue* old = key.findValue(name);
                old && old->type == type && old->data == data)
                return Change::Unchanged;
            return key.setValue(name, type, data) ? Change::Changed : Change::Refused;
        });
        return outcome == Outcome::Done;
    }

    std::optional<RegistryDataInfo> queryValueInfo(const std::string& name) override {
        const std::optional<RegistryValue> value = readValue(name);
        if (!value)
            return std::nullopt;
        return RegistryDataInfo{value->type, value->data.size()};
    }

    std::optional<RegistryValue> readValue(const std::string& name) override {
        const LoadedStore store = Load(storePath_);
        if (store.state != StoreState::Parsed)
            return std::nullopt;
        const RegistryFileKey* key = store.file.findKey(keyPath_);
        const RegistryFileValue* value = key ? key->findValue(name) : nullptr;
        if (!value)
            return std::nullopt;
        return RegistryValue{value->type, value->data};
    }

private:
    std::string storePath_;
    std::string keyPath_;
};

class FileStoreBackend : public RegistryBackend {
public:
    explicit FileStoreBackend(std::string path) : path_(std::move(path)) {}

    std::unique_ptr<RegistryKey> openKey(RegistryKey* parent, const std::string& path,
                                         bool create) override {
        std::string full = path;
        if (parent) {
            const std::string& base = static_cast<StoreKey*>(parent)->keyPath();
            full = base.empty() ? path : path.empty() ? base : base + "\\" + path;
        }
        const std::optional<std::vector<std::string>> parts = SplitKeyPath(full);
        if (!parts)
            return nullptr;
        std::string normal;
        for (const std::string& part : *parts)
            normal += (normal.empty() ? "" : "\\") + part;

        if (create) {
            std::string spelled = normal;
            const Outcome outcome = Modify(path_, [&](RegistryFile& file) {
                const bool existed = normal.empty() || file.findKey(normal) != nullptr;
                spelled = file.ensureKey(normal).path;
                return existed ? Change::Unchanged : Change::Changed;
            });
            // On a damaged store the key is handed out all the same, so that the write that
            // follows reports the failure instead of the key being skipped without a word.
            if (outcome == Outcome::Failed)
                return nullptr;
            return std::make_unique<StoreKey>(path_, outcome == Outcome::Done ? spelled : normal);
        }

        if (normal.empty()) {
            if (Load(path_).state == StoreState::Damaged)
                return nullptr;
            return std::make_unique<StoreKey>(path_, normal);
        }
        const LoadedStore store = Load(path_);
        const RegistryFileKey* key =
            store.state == StoreState::Parsed ? store.file.findKey(normal) : nullptr;
        if (!key)
            return nullptr;
        return std::make_unique<StoreKey>(path_, key->path);
    }

private:
    std::string path_;
};

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

} // namespace

std::string RegistryStorePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string folder =
        config && config[0] == '/' ? std::string(config) : HomeFolder() + "/.config";
    return folder + "/tarnwick/HKEY_CURRENT_USER.reg";
}

std::unique_ptr<RegistryBackend> RegistryFileStore(const std::string& path) {
    return std::make_unique<FileStoreBackend>(path);
}

RegistryFactory CurrentUserRegistry() {
    return
        [] { return std::make_unique<RegistryAccessor>(RegistryFileStore(RegistryStorePath())); };
}

} // namespace tarnwick
