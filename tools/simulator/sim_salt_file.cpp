#include "tools/simulator/sim_salt_file.h"

#include <fstream>

#include "tools/simulator/sim_auth.h"

bool LoadOrStoreSalt(const std::string& path, const std::string& password, std::string& salt, std::string& error)
{
    std::string storedSalt;
    std::string storedHash;
    {
        std::ifstream file(path);
        std::getline(file, storedSalt);
        std::getline(file, storedHash);
    }
    if (!storedSalt.empty() && storedHash == SimHashText(password + storedSalt)) {
        salt = storedSalt;
        return true;
    }
    salt = SimRandomToken();
    std::ofstream file(path, std::ios::trunc);
    file << salt << '\n' << SimHashText(password + salt) << '\n';
    if (!file.flush()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
