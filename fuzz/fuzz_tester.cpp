// The rule tester against libpacparser's engine on any table: the answers must be equal
// wherever the tester gives one.
#include "PacparserCompare.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

using namespace tarnwick;

// pacparser leaks a copy of every URL it is asked about; that is its own affair.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpacparser.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data), size);

    // The address: a host of a fixed set (no lookup leaves this machine), then the first record
    // as the path. pacparser hands the URL to its engine inside quotes, so a quote, a
    // backslash, a line break or a zero byte there would test its plumbing instead of the
    // rules.
    static const char* const hosts[] = {
        "127.0.0.1", "10.1.2.3", "192.168.0.77",   "010.0.0.1", "1.2.3.256",       "localhost",
        "a.invalid", "[::1]",    "user@x.invalid", "1.2.3",     "255.255.255.255",
    };
    const std::size_t path_end = std::min(bytes.find('\xFF', 1), bytes.size());
    std::string path = bytes.substr(1, path_end - 1);
    for (char& c : path)
        if (c == '\'' || c == '\\' || c == '\0' || c == '\r' || c == '\n')
            c = 'x';
    const TestAddress address = ParseTestAddress(
        std::string("http://") + hosts[static_cast<unsigned char>(bytes[0]) % std::size(hosts)] +
        "/" + path);

    // The rules: records separated by 0xFF, cells by 0xFE; the first byte of a record picks the
    // type (0..3), or leaves the type text raw.
    RuleTable table;
    int row = 1;
    std::size_t start = path_end + 1;
    while (start < bytes.size() && row < 16) {
        const std::size_t end = std::min(bytes.find('\xFF', start), bytes.size());
        const std::string record = bytes.substr(start, end - start);
        start = end + 1;
        if (record.empty())
            continue;
        table.ensureRowCount(row + 1);
        const unsigned pick = static_cast<unsigned char>(record[0]);
        const std::string rest = record.substr(1);
        const std::size_t split = rest.find('\xFE');
        const std::string value = rest.substr(0, split);
        if (pick < 4 * 60)
            table.SetRuleType(row, static_cast<int>(pick % 4));
        else
            table.setCell(0, row, pick % 2 ? value : "");
        table.setCell(1, row, value);
        // The proxy only tells the rows apart; the engine hands its bytes back unchanged.
        table.setCell(2, row, "p" + std::to_string(row));
        ++row;
    }

    static test::SystemResolver resolver;
    const test::Answers answers = test::Compare(table, address, resolver);
    if (answers.tester != "undecided" && answers.engine != answers.tester) {
        std::fprintf(stderr, "url %s host %s\nengine: %s\ntester: %s\n", address.url.c_str(),
                     address.host.c_str(), answers.engine.c_str(), answers.tester.c_str());
        std::abort();
    }
    return 0;
}
