#include "app/Installation.h"
#include "AppTestSupport.h"
#include "app/LoginCache.h"
#include "support/PlatconfBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

// Everything an installation keeps belongs to its own folder: two of them side by
// side share no table, no PC identifier, no login cache and no trace log, however
// the environment names the program folder.
TEST(Installation, TwoFoldersShareNothing)
{
    TempDir first, second;
    TempHome elsewhere; // the program folder is a third one
    ASSERT_FALSE(
        PlatconfBuilder().Text("wsh", "first.example").Text("wsp", "8080").WriteInto(first.Path()).isEmpty());
    ASSERT_FALSE(PlatconfBuilder().Text("wsh", "second.example").WriteInto(second.Path()).isEmpty());
    ASSERT_TRUE(SaveLoginCache(second.FilePath("licache"), LoginRecord("u", "p", 1, "22222222222222222222")));

    Installation a(first.Path()), b(second.Path());
    EXPECT_EQ(a.DataFolder(), first.Path());
    EXPECT_EQ(a.StateFolder(), first.Path());
    EXPECT_EQ(a.CustomResourcePath(), first.FilePath("custom_resource/platconf"));
    EXPECT_EQ(b.LoginCachePath(), second.FilePath("licache"));
    EXPECT_EQ(b.TraceLogPath(), second.FilePath("logtrace"));
    a.LoadCustomResources();
    b.LoadCustomResources();
    EXPECT_EQ(a.ResourceText("wsh"), "first.example");
    EXPECT_EQ(b.ResourceText("wsh"), "second.example");
    EXPECT_NE(a.FindResource("wsp"), nullptr);
    EXPECT_EQ(b.FindResource("wsp"), nullptr);
    ASSERT_EQ(a.Resources().size(), 2u);
    ASSERT_EQ(b.Resources().size(), 1u);

    // The first has no login cache: it makes an identifier and writes its own
    // cache; the second reuses the one in its folder, which stays as it was.
    const QByteArray secondCache = TempDir::Read(second.FilePath("licache"));
    testing::internal::CaptureStderr();
    a.SettlePcId();
    b.SettlePcId();
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(b.PcId(), "22222222222222222222");
    EXPECT_STRNE(a.PcId(), b.PcId());
    auto cached = LoadLoginCache(a.LoginCachePath());
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(cached->GetPcId().toStdString(), a.PcId());
    EXPECT_EQ(TempDir::Read(second.FilePath("licache")), secondCache);
    EXPECT_FALSE(QFile::exists(elsewhere.File("licache")));

    a.Trace().Write(reinterpret_cast<const unsigned char*>("ab"), 2, "A:", 0);
    b.Trace().Write(reinterpret_cast<const unsigned char*>("cd"), 2, "B:", 1);
    ASSERT_TRUE(a.Trace().Flush() && b.Trace().Flush());
    EXPECT_EQ(TempDir::Read(first.FilePath("logtrace")), "A:-2-ab\r\n");
    EXPECT_EQ(TempDir::Read(second.FilePath("logtrace")), "B:-2-[63][64]\r\n");
    EXPECT_FALSE(QFile::exists(elsewhere.File("logtrace")));

    // Without a folder named, the installation is the program folder as it is when
    // the object is made.
    Installation own;
    EXPECT_EQ(own.DataFolder(), elsewhere.Path());
    EXPECT_EQ(own.StateFolder(), elsewhere.Path());
}

// The web service entries as the window and the command line read them: the
// presence of each entry, the texts, and the port as a number (0 when it is not one).
TEST(Installation, WebServiceIsReadFromTheWshAndWspEntries)
{
    TempDir dir;
    Installation installation(dir.Path());
    testing::internal::CaptureStderr();
    installation.LoadCustomResources(); // no file: no entries
    testing::internal::GetCapturedStderr();
    WebEndpoint none = installation.WebService();
    EXPECT_FALSE(none.hostPresent || none.portPresent);
    EXPECT_EQ(none.host, "");
    EXPECT_EQ(none.port, 0);

    const std::pair<std::string, int> ports[] = {{"18080", 18080}, {"80x", 80}, {"none", 0}, {"", 0}};
    for (const auto& [text, port] : ports) {
        SCOPED_TRACE(text);
        ASSERT_FALSE(
            PlatconfBuilder().Text("wsp", text).Text("wsh", "10.0.0.7").WriteInto(dir.Path()).isEmpty());
        installation.LoadCustomResources();
        const WebEndpoint web = installation.WebService();
        EXPECT_TRUE(web.hostPresent && web.portPresent);
        EXPECT_EQ(web.host, "10.0.0.7");
        EXPECT_EQ(web.portText, text);
        EXPECT_EQ(web.port, port);
    }
}
