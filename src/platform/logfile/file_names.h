#pragma once

#include <string_view>

namespace dova {

// Separator between a folder and a file name in the paths the program builds.
#ifdef _WIN32
inline constexpr char16_t kPathDelimiter = u'\\';
#else
inline constexpr char16_t kPathDelimiter = u'/';
#endif

// Printable characters that this platform's file systems refuse in a file name. The ASCII
// double quote is the only one a user can type into the name dialog, so it stays wherever
// the file system takes it.
#ifdef _WIN32
inline constexpr std::u16string_view kRefusedFileNameChars = u"\\/:*?\"<>|";
#else
inline constexpr std::u16string_view kRefusedFileNameChars = u"/";
#endif

}  // namespace dova
