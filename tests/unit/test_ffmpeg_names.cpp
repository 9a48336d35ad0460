// How the video library's names resolve to local files: the spellings the end-to-end tests do
// not reach.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/ffmpeg_names.hpp"

namespace {

using shapemark::NameRole;
using shapemark::resolveLibraryName;

// The files a name resolves to, a descriptor as "fd N".
std::vector<std::string> files(const char* word, NameRole role) {
    std::vector<std::string> found;
    for (const shapemark::LocalFile& file : resolveLibraryName(word, role).files) {
        found.push_back(file.descriptor < 0 ? file.path : "fd " + std::to_string(file.descriptor));
    }
    return found;
}

using Files = std::vector<std::string>;

TEST(LibraryNames, ResolveAsTheLibraryOpensThem) {
    // Fault caught: a prefix kept in the path, or a default stream taken for the wrong role.
    EXPECT_EQ(files("file://tmp/x.avi", NameRole::Input), Files{"//tmp/x.avi"});
    EXPECT_EQ(files("./http:x.avi", NameRole::Output), Files{"./http:x.avi"});
    EXPECT_EQ(files("pipe:", NameRole::Input), Files{"fd 0"});
    EXPECT_EQ(files("pipe:", NameRole::Output), Files{"fd 1"});
    EXPECT_EQ(files("pipe:7", NameRole::Output), Files{"fd 7"});
    EXPECT_EQ(files("subfile,,start,0,end,9,,:x.avi", NameRole::Input), Files{"x.avi"});
    EXPECT_EQ(files("cache:async:file:x.avi", NameRole::Input), Files{"x.avi"});
    EXPECT_EQ(files("concat:a.avi|file:b.avi", NameRole::Input), (Files{"a.avi", "b.avi"}));
    EXPECT_EQ(files("tee:a.avi|pipe:", NameRole::Output), (Files{"a.avi", "fd 1"}));
    EXPECT_EQ(files("md5:", NameRole::Output), Files{"fd 1"});
}

TEST(LibraryNames, RefuseOtherProtocolsOnlyForWriting) {
    // Fault caught: a remote input refused, or a protocol output let through to write nothing.
    EXPECT_TRUE(resolveLibraryName("http://host/x.avi", NameRole::Input).files.empty());
    EXPECT_TRUE(resolveLibraryName("http://host/x.avi", NameRole::Input).refusedProtocol.empty());
    EXPECT_EQ(resolveLibraryName("C:/x.avi", NameRole::Output).refusedProtocol, "C");
    EXPECT_EQ(resolveLibraryName("tee:a.avi|udp:h", NameRole::Output).refusedProtocol, "udp");
}

}  // namespace
