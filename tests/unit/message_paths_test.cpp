#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/recording_window.h"
#include "shell/paths.h"

namespace {

// The result always ends inside the 260 characters, never past them; a long result is cut at
// 259, and the executable's own path is taken to 259 characters at most. 0x95 0x5C is one
// Shift-JIS character whose second byte looks like a backslash: no separator under a
// double-byte code page, a separator otherwise.
TEST(PathBeside, JoinsTheExecutablesFolderSubfolderAndNameWithinThePathLimit) {
    const std::string longFolder = "C:\\" + std::string(240, 'f');
    const std::string deep = "D:\\" + std::string(250, 'd');
    struct Case {
        std::string exe;
        bool doubleByte;
        const char *fileName, *subfolder;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, "options.lvx", "", "C:\\Program Files\\Lyrivox\\options.lvx"},
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, "*.bmp", "media\\images\\", "C:\\Program Files\\Lyrivox\\media\\images\\*.bmp"},
        {"C:\\Program Files\\Lyrivox\\lyrivox.exe", false, nullptr, nullptr, "C:\\Program Files\\Lyrivox\\"},
        {"lyrivox.exe", false, "options.lvx", "", ".\\options.lvx"},  // no folder known: the current one
        {longFolder + "\\lyrivox.exe", false, "background.bmp", "media\\images\\",
         (longFolder + "\\media\\images\\background.bmp").substr(0, 259)},
        {deep + "\\" + std::string(30, 'e') + ".exe", false, "x", "", deep + "\\x"},
        {"C:\\\x95\x5C\\lyrivox.exe", true, "options.lvx", "", "C:\\\x95\x5C\\options.lvx"},
        {"C:\\\x95\x5Clyrivox.exe", true, "options.lvx", "", "C:\\options.lvx"},
        {"C:\\\x95\x5Clyrivox.exe", false, "options.lvx", "", "C:\\\x95\\options.lvx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        platform::setHostExecutablePath(c.exe.c_str());
        platform::setHostDoubleByteCodePage(c.doubleByte);
        char buffer[kPathCapacity + 8];
        std::memset(buffer, 'X', sizeof buffer);
        pathBesideExecutable(buffer, c.fileName, c.subfolder);
        ASSERT_NE(std::memchr(buffer, '\0', kPathCapacity), nullptr);
        EXPECT_EQ(buffer[kPathCapacity], 'X') << "wrote past the buffer";
        EXPECT_EQ(std::string(buffer), c.expected);
    }
    platform::setHostExecutablePath("C:\\Lyrivox\\lyrivox.exe");
    platform::setHostDoubleByteCodePage(false);
}

}  // namespace
