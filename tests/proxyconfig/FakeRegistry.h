#pragma once

#include "proxyconfig/Registry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tarnwick::test {

// An in-memory hive that records what is done to it and can be told to fail where a real
// registry cannot be made to.
struct FakeHive {
    std::map<std::string, std::map<std::string, RegistryValue>> keys; // path -> name -> value
    std::vector<std::string> log; // "open+ path" (create), "open path", "set name", "close path"
    std::set<std::string> unopenable;    // key paths whose open fails
    std::set<std::string> failingWrites; // value names whose write fails
    std::set<std::string> failingReads;  // value names whose data cannot be read
    int openKeys = 0;
    int liveAccessors = 0;
    int accessorsMade = 0;

    const RegistryValue* value(const std::string& key, const std::string& name) const {
        const auto k = keys.find(key);
        if (k == keys.end())
            return nullptr;
        const auto v = k->second.find(name);
        return v == k->second.end() ? nullptr : &v->second;
    }
};

class FakeKey : public RegistryKey {
public:
    FakeKey(FakeHive& hive, std::string path) : hive_(hive), path_(std::move(path)) {
        ++hive_.openKeys;
    }
    ~FakeKey() override {
        --hive_.openKeys;
        hive_.log.push_back("close " + path_);
    }
    const std::string& path() const { return path_; }

    bool setValue(const std::string& name, RegistryValueType type, std::string_view data) override {
        hive_.log.push_back("set " + name);
        if (hive_.failingWrites.count(name))
            return false;
        hive_.keys[path_][name] = RegistryValue{type, std::string(data)};
        return true;
    }
    std::optional<RegistryDataInfo> queryValueInfo(const std::string& name) override {
        const RegistryValue* v = hive_.value(path_, name);
        if (!v)
            return std::nullopt;
        return RegistryDataInfo{v->type, v->data.size()};
    }
    std::optional<RegistryValue> readValue(const std::string& name) override {
        const RegistryValue* v = hive_.value(path_, name);
        if (!v || hive_.failingReads.count(name))
            return std::nullopt;
        return *v;
    }

private:
    FakeHive& hive_;
    std::string path_;
};

class FakeBackend : public RegistryBackend {
public:
    explicit FakeBackend(FakeHive& hive) : hive_(hive) {
        ++hive_.liveAccessors;
        ++hive_.accessorsMade;
    }
    ~FakeBackend() override { --hive_.liveAccessors; }

    std::unique_ptr<RegistryKey> openKey(RegistryKey* parent, const std::string& path,
                                         bool create) override {
        hive_.log.push_back((create ? "open+ " : "open ") + path);
        std::string full = path;
        if (parent)
            full = static_cast<FakeKey*>(parent)->path() + "\\" + path;
        while (!full.empty() && full.back() == '\\')
            full.pop_back();
        if (hive_.unopenable.count(full))
            return nullptr;
        if (!hive_.keys.count(full)) {
            if (!create)
                return nullptr;
            for (std::size_t at = full.find('\\'); at != std::string::npos;
                 at = full.find('\\', at + 1))
                hive_.keys[full.substr(0, at)];
            hive_.keys[full];
        }
        return std::make_unique<FakeKey>(hive_, full);
    }

private:
    FakeHive& hive_;
};

inline RegistryFactory FakeRegistry(FakeHive& hive) {
    return
        [&hive] { return std::make_unique<RegistryAccessor>(std::make_unique<FakeBackend>(hive)); };
}

inline std::string Dword(std::uint32_t n) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return data;
}

} // namespace tarnwick::test
