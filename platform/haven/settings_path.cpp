#include "platform/haven/settings_path.h"

#include <system_error>
#include <vector>

namespace haven {

namespace {

namespace fs = std::filesystem;

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// The entry of `folder` named `part`, exactly or ignoring case; `part` itself when none is.
fs::path Child(const fs::path& folder, const std::string& part)
{
    std::error_code error;
    const fs::path exact = folder / part;
    if (fs::exists(exact, error)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (SameIgnoringCase(it->path().filename().string(), part)) {
            return it->path();
        }
    }
    return exact;
}

fs::path Canonical(const fs::path& path, std::error_code& error)
{
    fs::path real = fs::weakly_canonical(path, error);
    if (!real.empty() && real.filename().empty()) {
        real = real.parent_path();
    }
    return real;
}

bool IsInside(const fs::path& path, const fs::path& root)
{
    std::error_code error;
    const fs::path realRoot = Canonical(root, error);
    if (error) {
        return false;
    }
    const fs::path realPath = Canonical(path, error);
    if (error) {
        return false;
    }
    auto p = realPath.begin();
    for (auto r = realRoot.begin(); r != realRoot.end(); ++r, ++p) {
        if (p == realPath.end() || *r != *p) {
            return false;
        }
    }
    return p != realPath.end();
}

} // namespace

std::optional<fs::path> ResolveUnderRoot(const fs::path& root, const std::string& relative)
{
    if (relative.empty() || relative[0] == '/' || relative[0] == '\\') {
        return std::nullopt;
    }
    if (relative.size() >= 2 && relative[1] == ':') {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= relative.size(); ++i) {
        if (i == relative.size() || relative[i] == '/' || relative[i] == '\\') {
            if (part == "..") {
                return std::nullopt;
            }
            if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += relative[i];
        }
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    fs::path path = root;
    for (const std::string& name : parts) {
        path = Child(path, name);
    }
    if (!IsInside(path, root)) {
        return std::nullopt;
    }
    return path;
}

} // namespace haven
