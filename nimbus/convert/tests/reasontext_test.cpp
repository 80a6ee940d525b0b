// Reasons of the Qt-free libraries: their English, and the same text as the
// converter shows it without a translation (as on the console), which must
// be the English word for word.

#include "lasmessages.h"
#include "reasontext.h"
#include "systemerror.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <string>

using nimbus::Reason;

TEST(Reason, ArgumentsNestedReasonsAndStrayPercentSigns)
{
    namespace msg = nimbus::las::msg;
    EXPECT_EQ(Reason(msg::kEndsAfter, std::uint64_t(1064), 1065).text(), "file ends after 1064 of 1065 points");
    // Nested reasons are formatted in place; a path holding "%1" or "%2" is
    // taken as it is and not filled in again.
    const Reason nested(msg::kCannotOpen, "/data/100%1 %2 x.las", nimbus::systemError(ENOENT));
    EXPECT_EQ(nested.text(), "cannot open /data/100%1 %2 x.las: " + std::string(std::strerror(ENOENT)));
    const Reason item(msg::kItemFault, 7, 8, 2, Reason(msg::kItemWrongSize));
    EXPECT_EQ(item.text(), "LAZ item 7 (size 8, version 2): wrong size");
    EXPECT_EQ(Reason(msg::kFaultAfter, item, 10, 20).text(),
              "LAZ item 7 (size 8, version 2): wrong size after 10 of 20 points");
    // A template asking for more than it was given keeps the marker.
    EXPECT_EQ(Reason(msg::kChunkCorrupt, 3).text(), "chunk 3 is corrupt: %2");
    EXPECT_EQ(Reason::substitute("100% of %1%", {"x"}), "100% of x%");
    EXPECT_TRUE(Reason().empty());
    EXPECT_EQ(Reason().text(), "");
    EXPECT_TRUE(nimbus::reasonText(Reason()).isEmpty());
}

TEST(Reason, SystemWordsStayAsTheSystemGaveThem)
{
    // The catalogue holds glibc's words; wherever the C library words an
    // error otherwise, its own words are kept.
    for (int e : {ENOENT, EACCES, ENOSPC, EIO, EISDIR, EROFS, ENAMETOOLONG, EMFILE, 12345}) {
        const Reason r = nimbus::systemError(e);
        EXPECT_EQ(r.text(), std::strerror(e)) << e;
    }
    const Reason known = nimbus::ownWords("No space left on device");
    EXPECT_STREQ(known.message()->english, "No space left on device");
    const Reason unknown = nimbus::ownWords("The disk is on fire");
    EXPECT_STREQ(unknown.message()->english, nimbus::msg::kOwnWords.english);
    EXPECT_EQ(unknown.text(), "The disk is on fire");
    EXPECT_STREQ(nimbus::ownWords("std::bad_alloc").message()->english, "std::bad_alloc");
}

// Without a translation installed (this program installs none), every
// message reads in the converter exactly as the library's English.
TEST(Reason, UntranslatedTextIsTheEnglishOfEveryMessage)
{
    for (const nimbus::Message& m : nimbus::libraryMessages()) {
        const Reason r(m, "a", Reason(nimbus::las::msg::kNotANumber), 3, "C:\\100%1\\d.las");
        EXPECT_EQ(nimbus::reasonText(r).toStdString(), r.text()) << m.english;
    }
}
