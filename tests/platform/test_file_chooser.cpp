// Where the folder and file choosers open: the home folder first, then where the user last
// chose, each kind of chooser on its own.
#include "platform/file_chooser.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace tvk;

TEST(FileChooser, OpensAtHomeThenWhereTheUserLastChose) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path();
    ASSERT_TRUE(QDir().mkpath(d + "/discs/one") && QDir().mkpath(d + "/images"));
    QString opened;
    QString answer;
    setFileChooserHook([&](const FileChooserCall& call) {
        opened = call.directory;
        return answer;
    });
    struct Step {
        bool folder;
        QString answer; // empty: cancelled
        QString opensAt;
    };
    const QString home = QDir::homePath();
    const Step steps[] = {
        {true, "", home}, // a cancelled chooser remembers nothing
        {true, d + "/discs/one/", home},
        {true, "", d + "/discs"},           // the folder that holds the folder chosen
        {false, d + "/images/a.iso", home}, // files have their own place
        {false, "", d + "/images"},
        {true, "", d + "/discs"},
    };
    int step = 0;
    for (const Step& s : steps) {
        answer = s.answer;
        const QString chosen = s.folder ? chooseFolder(nullptr, "Folder")
                                        : chooseFile(nullptr, "Image", "Disc images (*.iso)");
        EXPECT_EQ(chosen, s.answer) << step;
        EXPECT_EQ(opened, s.opensAt) << step++;
    }
    // A place that is gone gives the home folder again.
    ASSERT_TRUE(QDir(d + "/images").removeRecursively());
    chooseFile(nullptr, "Image", "Disc images (*.iso)");
    EXPECT_EQ(opened, home);
    setFileChooserHook({});
}

} // namespace
