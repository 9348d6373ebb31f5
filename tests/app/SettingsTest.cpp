#include "Controls.h"
#include "Form1Harness.h"
#include "SettingsFile.h"

#include <gtest/gtest.h>

namespace {

QByteArray Settings(const QByteArray& keys) {
    return "[SETTINGS]\n" + keys;
}

TEST(Settings, WithoutAFileTheDefaultsApply) {
    Form1Harness h;
    h.start();
    auto& ui = h.ui();
    EXPECT_EQ(ui.FileLocation->text(), Form1Harness::ProgramFolder + QStringLiteral("/WavFiles/brasil/"))
        << "the language's folder is applied at once";
    EXPECT_EQ(ui.VolSet->text(), QStringLiteral("0"));
    EXPECT_EQ(ui.V1->value(), 0);
    EXPECT_TRUE(ui.Option2->isChecked());
    EXPECT_FALSE(ui.Option1->isChecked());
    EXPECT_TRUE(ui.Option7->isChecked());
    EXPECT_TRUE(ui.Option9->isChecked()) << "Option5 is selected first, then replaced by the later key";
    EXPECT_FALSE(ui.Option5->isChecked());
    EXPECT_TRUE(ui.OptionWAV->isChecked());
    EXPECT_FALSE(ui.OptionMP3->isChecked());
    EXPECT_EQ(checkValue(ui.OnHour), 0);
    EXPECT_EQ(checkValue(ui.QuarterHour), 1);
    EXPECT_EQ(checkValue(ui.HalfHour), 0);
    EXPECT_EQ(checkValue(ui.AMPM), 0);
    EXPECT_EQ(checkValue(ui.Check1), 1);
    EXPECT_EQ(checkValue(ui.Check2), 1);
    EXPECT_EQ(ui.DTMFTime->text(), QStringLiteral("123"));
    EXPECT_EQ(h.form->pos(), QPoint(20, 20)) << "300 twips";
}

TEST(Settings, SaveThenStartRestoresEveryControl) {
    Form1Harness first;
    first.start();
    auto& ui = first.ui();
    setOptionSelected(ui.Option7, false); // no language, so the folder is kept as typed
    ui.FileLocation->setText(QStringLiteral("/srv/vozes/Español/"));
    ui.V1->setValue(-1500);
    ui.Option1->setChecked(true);
    ui.Option6->setChecked(true);
    ui.OptionMP3->setChecked(true);
    setCheckValue(ui.OnHour, 1);
    setCheckValue(ui.QuarterHour, 0);
    setCheckValue(ui.HalfHour, 2);
    setCheckValue(ui.AMPM, 1);
    setCheckValue(ui.Check1, 0);
    setCheckValue(ui.Check2, 0);
    ui.DTMFTime->setText(QStringLiteral("##99A*"));
    first.form->move(120, 45);
    first.form->Command1_Click();

    const QByteArray saved = first.dir.read(QStringLiteral("Tempovox.ini"));
    EXPECT_TRUE(saved.contains("OPTION1=True\n")) << saved.constData();
    EXPECT_TRUE(saved.contains("OPTION2=False\n"));
    EXPECT_TRUE(saved.contains("LEFT=1800\n"));
    EXPECT_TRUE(saved.contains("TOP=675\n"));

    Form1Harness second(saved);
    second.start();
    auto& again = second.ui();
    EXPECT_EQ(again.FileLocation->text(), QStringLiteral("/srv/vozes/Español/"));
    EXPECT_EQ(again.V1->value(), -1500);
    EXPECT_EQ(again.VolSet->text(), QStringLiteral("-1500"));
    EXPECT_TRUE(again.Option1->isChecked());
    EXPECT_FALSE(again.Option2->isChecked());
    for (QRadioButton* language :
         {again.Option3, again.Option4, again.Option7, again.Option8, again.Option10})
        EXPECT_FALSE(language->isChecked()) << language->objectName().toStdString();
    EXPECT_TRUE(again.Option6->isChecked());
    EXPECT_TRUE(again.OptionMP3->isChecked());
    EXPECT_FALSE(again.OptionWAV->isChecked());
    EXPECT_EQ(checkValue(again.OnHour), 1);
    EXPECT_EQ(checkValue(again.QuarterHour), 0);
    EXPECT_EQ(checkValue(again.HalfHour), 2);
    EXPECT_EQ(checkValue(again.AMPM), 1);
    EXPECT_EQ(checkValue(again.Check1), 0);
    EXPECT_EQ(checkValue(again.Check2), 0);
    EXPECT_EQ(again.DTMFTime->text(), QStringLiteral("##99A*"));
    EXPECT_EQ(second.form->pos(), QPoint(120, 45));
}

TEST(Settings, OptionGroupsFollowTheOrderOfTheKeys) {
    struct Case {
        const char* keys;
        std::vector<const char*> selected;
        std::vector<const char*> cleared;
    };
    const Case cases[] = {
        {"OPTION3=True\nOPTION7=True\n", {"Option7"}, {"Option3"}},
        {"OPTION7=1\nOPTION3=true\n", {"Option7"}, {"Option3"}}, // read in table order, not file order
        {"OPTION3=0\nOPTION4=FALSE\nOPTION7=False\nOPTION8=0\nOPTION10=0\n",
         {},
         {"Option3", "Option4", "Option7", "Option8", "Option10"}},
        {"OPTION5=-1\nOPTION6=0\nOPTION9=0\n", {"Option5"}, {"Option6", "Option9"}},
        {"OPTION1=2.5\nOPTION2=0\n", {"Option1"}, {"Option2"}}, // any non-zero number is true
        {"OPTION7=0\nOPTIONWAV=False\nOPTIONMP3=False\n", {}, {"OptionWAV", "OptionMP3"}},
    };
    for (const Case& c : cases) {
        Form1Harness h(Settings(c.keys));
        h.start();
        for (const char* name : c.selected)
            EXPECT_TRUE(h.form->findChild<QRadioButton*>(QLatin1String(name))->isChecked()) << c.keys << name;
        for (const char* name : c.cleared)
            EXPECT_FALSE(h.form->findChild<QRadioButton*>(QLatin1String(name))->isChecked())
                << c.keys << name;
    }
}

TEST(Settings, ValuesThatDoNotConvertFallBackToTheKeysDefault) {
    Form1Harness h(Settings("VOLSET=loud\n"
                            "OPTION2=maybe\n"
                            "QUARTERHOUR=7\n"
                            "HALFHOUR=\n"
                            "CHECK1=-1\n"
                            "AMPM=1.6\n"   // rounds to 2: greyed
                            "ONHOUR=0.5\n" // halves round to even
                            "LEFT=far\n"
                            "TOP=1e300\n"
                            "DTMFTIME=\n"));
    h.start();
    auto& ui = h.ui();
    EXPECT_EQ(ui.VolSet->text(), QStringLiteral("0"));
    EXPECT_TRUE(ui.Option2->isChecked());
    EXPECT_EQ(checkValue(ui.QuarterHour), 1);
    EXPECT_EQ(checkValue(ui.HalfHour), 0);
    EXPECT_EQ(checkValue(ui.Check1), 1);
    EXPECT_EQ(checkValue(ui.AMPM), 2);
    EXPECT_EQ(checkValue(ui.OnHour), 0);
    EXPECT_EQ(h.form->pos(), QPoint(20, 20));
    EXPECT_EQ(ui.DTMFTime->text(), QString()) << "an empty text is a value, not a missing key";
}

TEST(Settings, VolumeOutsideTheBarsRangeIsNotTaken) {
    for (const char* value : {"1", "-3001", "40000"}) {
        Form1Harness h(Settings(QByteArray("VOLSET=") + value + "\n"));
        h.start();
        EXPECT_EQ(h.ui().V1->value(), 0) << value;
        EXPECT_EQ(h.ui().VolSet->text(), QStringLiteral("0")) << value;
    }
    Form1Harness h(Settings("volset = -1500\n"));
    h.start();
    EXPECT_EQ(h.ui().V1->value(), -1500);
    h.ui().V1->setValue(0);
    EXPECT_EQ(h.ui().VolSet->text(), QStringLiteral("0"));
}

TEST(Settings, SavingKeepsOtherSectionsAndUnknownKeys) {
    const QByteArray original = "; station notes\n"
                                "[LINK]\n"
                                "BACKEND=socket\n"
                                "SOCKET=/run/radio/link.sock\n"
                                "\n"
                                "[SETTINGS]\n"
                                "DTMFTIME=777\n"
                                "CUSTOM=kept\n"
                                "\n"
                                "[AUDIO]\n"
                                "SINK=alsasink device=hw:1\n";
    Form1Harness h(original);
    h.start();
    h.form->SaveData();
    const QByteArray saved = h.dir.read(QStringLiteral("Tempovox.ini"));
    EXPECT_TRUE(saved.startsWith("; station notes\n[LINK]\nBACKEND=socket\nSOCKET=/run/radio/link.sock\n\n"
                                 "[SETTINGS]\nDTMFTIME=777\nCUSTOM=kept\n"))
        << saved.constData();
    EXPECT_TRUE(saved.endsWith("\n[AUDIO]\nSINK=alsasink device=hw:1\n")) << saved.constData();
    EXPECT_EQ(saved.count("DTMFTIME="), 1);
    EXPECT_EQ(saved.count("FILELOCATION="), 1);
}

TEST(Settings, AFailedSaveKeepsTheOldFile) {
    Form1Harness h(Settings("DTMFTIME=555\n"));
    h.start();
    h.ui().DTMFTime->setText(QStringLiteral("999"));
    // A folder where the settings file should be: no write can replace it.
    const QString blocked = h.dir.file(QStringLiteral("blocked/Tempovox.ini"));
    QDir().mkpath(blocked);
    QString error;
    EXPECT_FALSE(SettingsFile::save(blocked, h.ui(), *h.form, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_EQ(h.dir.read(QStringLiteral("Tempovox.ini")), QByteArray("[SETTINGS]\nDTMFTIME=555\n"));
}

} // namespace
