#include "common/PathText.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace pyrolith {

#ifdef _WIN32

namespace {

std::string Utf8FromWide(std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace

std::filesystem::path PathFromUtf8(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return std::filesystem::path(std::move(wide));
}

std::string Utf8FromPath(const std::filesystem::path& path)
{
    return Utf8FromWide(path.native());
}

std::vector<std::string> Utf8Arguments(int, char**)
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(Utf8FromWide(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

void UseUtf8Console()
{
    ::SetConsoleOutputCP(CP_UTF8);
}

#else

std::filesystem::path PathFromUtf8(std::string_view text)
{
    return std::filesystem::path(std::string(text));
}

std::string Utf8FromPath(const std::filesystem::path& path)
{
    return path.native();
}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Console() {}

#endif

}  // namespace pyrolith
