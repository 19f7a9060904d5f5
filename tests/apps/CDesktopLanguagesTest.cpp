// The desktop's languages as gettext reads them, in ISO 639-2.
#include "apps/common/CDesktopLanguages.h"

#include <gtest/gtest.h>

TEST(CDesktopLanguagesTest, LanguageListThenLocaleAsGettextReadsThem)
{
    using L = std::vector<std::string>;
    EXPECT_EQ(CDesktopLanguages::Parse("", "de_AT.UTF-8@euro"), L{"deu"});
    EXPECT_EQ(CDesktopLanguages::Parse("fr:en_GB:xx", "de_DE.UTF-8"), (L{"fra", "eng", "deu"}));
    EXPECT_EQ(CDesktopLanguages::Parse("fr", "C"), L{});   // LANGUAGE counts only with a locale
    EXPECT_EQ(CDesktopLanguages::Parse("", "POSIX"), L{});
    EXPECT_EQ(CDesktopLanguages::Parse("nb:nn", "tr_TR"), (L{"nor", "tur"}));
    EXPECT_EQ(CDesktopLanguages::ToIso6392("GSW"), "gsw");
    EXPECT_EQ(CDesktopLanguages::ToIso6392("q"), "");
}
