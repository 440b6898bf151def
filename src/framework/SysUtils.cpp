#include "SysUtils.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<std::string>& arguments()
{
    static std::vector<std::string> words;
    return words;
}

}

void SetCommandLine(int argc, const char* const* argv)
{
    arguments().assign(argv, argv + std::max(argc, 0));
}

int ParamCount()
{
    return arguments().empty() ? 0 : int(arguments().size()) - 1;
}

std::string ParamStr(int index)
{
    return index >= 0 && index < int(arguments().size()) ? arguments()[std::size_t(index)] : std::string();
}
