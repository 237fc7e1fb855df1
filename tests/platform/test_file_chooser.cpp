// Where the folder and file choosers open: the home folder first, then where the user last
// chose, each kind of chooser on its own.
#include "platform/file_chooser.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace tvk;

TEST(FileChooser, OpensAtHomeThenWhereTheUserLastChose) {
    QTemporaryDir dir;
    const QString d = dir.path();
    const QString home = QDir::homePath();
    ASSERT_TRUE(QDir().mkpath(d + "/discs/one") && QDir().mkpath(d + "/images"));
    QString opened;
    QString answer;
    setFileChooserHook([&](const FileChooserCall& call) {
        opened = call.directory;
        return answer;
    });
    // Where the chooser opened when the user chose `chosen` (empty: cancelled) in it.
    const auto ask = [&](bool folder, const QString& chosen) {
        answer = chosen;
        EXPECT_EQ(folder ? chooseFolder(nullptr, "Folder") : chooseFile(nullptr, "Image", "*.iso"),
                  chosen);
        return opened;
    };
    EXPECT_EQ(ask(true, d + "/discs/one/"), home);
    EXPECT_EQ(ask(true, ""), d + "/discs");           // the folder that holds the folder chosen
    EXPECT_EQ(ask(false, d + "/images/a.iso"), home); // files have their own place
    EXPECT_EQ(ask(false, ""), d + "/images");
    EXPECT_EQ(ask(true, ""), d + "/discs"); // a cancel leaves the place as it was
    ASSERT_TRUE(QDir(d + "/images").removeRecursively());
    EXPECT_EQ(ask(false, ""), home); // a place that is gone
    setFileChooserHook({});
}

} // namespace
