// The registry store file on any bytes: what parses formats to a text that parses to the same
// store, and whatever the writer is given, the text it writes parses back to it.
#include "platform/posix/RegistryFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace tarnwick;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckSameStore(const RegistryFile& a, const RegistryFile& b) {
    Check(a.keys().size() == b.keys().size());
    for (std::size_t k = 0; k < a.keys().size(); ++k) {
        const RegistryFileKey& x = a.keys()[k];
        const RegistryFileKey& y = b.keys()[k];
        Check(x.path == y.path && x.values.size() == y.values.size());
        for (std::size_t v = 0; v < x.values.size(); ++v)
            Check(x.values[v].name == y.values[v].name && x.values[v].type == y.values[v].type &&
                  x.values[v].data == y.values[v].data);
    }
}

// Any bytes as a stored file: parse -> format -> parse gives the same store and the same text.
void ParseFormatParse(std::string_view text) {
    const std::optional<RegistryFile> first = RegistryFile::Parse(text);
    if (!first)
        return;
    const std::string written = first->format();
    const std::optional<RegistryFile> second = RegistryFile::Parse(written);
    Check(second.has_value());
    CheckSameStore(*first, *second);
    Check(second->format() == written);
}

// The bytes as the writer's input: keys and values made through its interface always give a
// text that parses to the same store.
void WriteThenParse(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    RegistryFile file;
    while (input.remaining_bytes() > 0) {
        const std::string path = input.ConsumeRandomLengthString(600);
        const std::string name = input.ConsumeRandomLengthString(64);
        const auto type = static_cast<RegistryValueType>(
            input.ConsumeBool() ? input.ConsumeIntegralInRange<std::uint32_t>(0, 11)
                                : input.ConsumeIntegral<std::uint32_t>());
        const std::string bytes = input.ConsumeRandomLengthString(200);
        if (!SplitKeyPath(path))
            continue;
        RegistryFileKey& key = file.ensureKey(path);
        if (key.setValue(name, type, bytes)) {
            const RegistryFileValue* value = key.findValue(name);
            Check(value && value->type == type && value->data == bytes);
        }
    }
    const std::string written = file.format();
    const std::optional<RegistryFile> back = RegistryFile::Parse(written);
    Check(back.has_value());
    CheckSameStore(file, *back);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ParseFormatParse(std::string_view(reinterpret_cast<const char*>(data), size));
    WriteThenParse(data, size);
    return 0;
}
