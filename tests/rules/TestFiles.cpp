#include "TestFiles.h"

#include "rules/CodePage.h"
#include "rules/RuleTable.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarnwick::test {

namespace fs = std::filesystem;

RuleTable ExampleTable() {
    RuleTable table;
    table.SetRuleType(1, 2);
    table.setCell(2, 1, "10.0.0.1:8080");
    table.SetRuleType(3, 3);
    table.setCell(2, 3, "10.0.0.2:3128");
    return table;
}

const char* const ExamplePacScript = "function FindProxyForURL(url, host){\r\n"
                                     "if(isInNet(host, \"192.168.0.0\", \"255.255.255.0\")){\r\n"
                                     "return \"PROXY 10.0.0.1:8080\";\r\n"
                                     "}\r\n"
                                     "if(!isResolvable(host)){\r\n"
                                     "return \"PROXY 10.0.0.2:3128\";\r\n"
                                     "}\r\n"
                                     "return \"DIRECT\";\r\n"
                                     "}";

std::string ExampleRuleFile() {
    const std::string subnet = GbkFromUtf8("子网");
    return "[row1]\r\ncol0=" + subnet + "\r\ncol1=192.168.0.1;255.255.255.0\r\n" +
           "col2=10.0.0.1:8080\r\n[row3]\r\ncol0=" + GbkFromUtf8("不能解析的地址") +
           "\r\ncol1=" + subnet + "\r\ncol2=10.0.0.2:3128\r\n";
}

TempFolder::TempFolder() {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = fs::temp_directory_path() /
                ("tarnwick-rules-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        if (fs::create_directory(path_))
            return;
    }
    throw std::runtime_error("no temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string TempFolder::file(const std::string& name) const {
    return (path_ / name).string();
}

std::vector<std::string> TempFolder::entries(const std::string& subfolder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(subfolder.empty() ? path_ : path_ / subfolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string DataPath(const std::string& relative) {
    std::string path = std::string(TARNWICK_TEST_DATA) + "/" + relative;
#ifdef _WIN32
    // The sources sit on the Unix side, which Wine shows as drive Z:.
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!path.empty() && path[0] == '\\')
        path = "Z:" + path;
#endif
    return path;
}

} // namespace tarnwick::test
