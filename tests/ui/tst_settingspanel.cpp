#include "UiTestSupport.h"
#include "model/TranscodeViewModel.h"
#include "ui/MainWindow.h"
#include "ui/SettingsPanel.h"
#include "ui/Switch.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace UiTestSupport;

namespace {

void choose(QComboBox *picker, const QString &choice)
{
    const int index = picker->findText(choice);
    QVERIFY2(index >= 0, qPrintable(choice));
    picker->setCurrentIndex(index);
}

void typeBitrate(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class TestSettingsPanel : public QObject
{
    Q_OBJECT

    TranscodeViewModel *m_model = nullptr;
    SettingsPanel *m_panel = nullptr;

    template <typename T> T *control(const QString &name) const { return child<T>(*m_panel, name); }
    bool showsControl(const QString &name) const { return shows(*m_panel, name); }

private Q_SLOTS:
    void initTestCase()
    {
        // A comma locale must not change how numbers are read or written.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void init()
    {
        m_model = new TranscodeViewModel;
        m_panel = new SettingsPanel(*m_model);
        m_panel->resize(1000, 200);
    }

    void cleanup()
    {
        delete m_panel;
        delete m_model;
    }

    void pickerWritesItsProperty_data()
    {
        QTest::addColumn<QString>("picker");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("choice");
        QTest::newRow("resolution")
            << u"resolutionPicker"_s << "selectedResolution"_ba << u"1920x1080"_s;
        QTest::newRow("frame rate") << u"frameRatePicker"_s << "selectedFrameRate"_ba << u"23.98"_s;
        QTest::newRow("codec") << u"codecPicker"_s << "selectedCodec"_ba << u"AV1 (软件编码)"_s;
        QTest::newRow("container") << u"containerPicker"_s << "selectedContainer"_ba << u"mov"_s;
        QTest::newRow("profile") << u"profilePicker"_s << "selectedProResProfile"_ba << u"422 HQ"_s;
    }

    void pickerWritesItsProperty()
    {
        QFETCH(QString, picker);
        QFETCH(QByteArray, property);
        QFETCH(QString, choice);
        choose(control<QComboBox>(picker), choice);
        QCOMPARE(m_model->property(property).toString(), choice);
    }

    void proResCodecSwapsContainerForProfile()
    {
        choose(control<QComboBox>(u"codecPicker"_s), u"ProRes (软件编码)"_s);
        QVERIFY(!showsControl(u"containerPicker"_s));
        QVERIFY(showsControl(u"profilePicker"_s));
        QVERIFY(!showsControl(u"bitrateGroup"_s));
        QTRY_COMPARE(m_model->selectedContainer(), u"mov"_s);

        choose(control<QComboBox>(u"codecPicker"_s), u"HEVC (软件编码)"_s);
        QVERIFY(showsControl(u"containerPicker"_s));
        QVERIFY(!showsControl(u"profilePicker"_s));
        QVERIFY(showsControl(u"bitrateGroup"_s));
        QVERIFY(showsControl(u"alphaSwitch"_s));
    }

    void alphaSwitchFollowsTheProfile()
    {
        choose(control<QComboBox>(u"codecPicker"_s), u"ProRes (硬件加速)"_s);
        QVERIFY(!showsControl(u"alphaSwitch"_s));
        choose(control<QComboBox>(u"profilePicker"_s), u"4444"_s);
        QVERIFY(showsControl(u"alphaSwitch"_s));
        QTest::mouseClick(control<Switch>(u"alphaSwitch"_s), Qt::LeftButton);
        QVERIFY(m_model->enableAlpha());
        // Back to a profile without alpha: the rule switches it off and the switch goes.
        choose(control<QComboBox>(u"profilePicker"_s), u"422 LT"_s);
        QVERIFY(!showsControl(u"alphaSwitch"_s));
        QTRY_VERIFY(!m_model->enableAlpha());
        QVERIFY(!control<Switch>(u"alphaSwitch"_s)->isChecked());
    }

    void leavingProResResetsTheProfile()
    {
        choose(control<QComboBox>(u"codecPicker"_s), u"ProRes (软件编码)"_s);
        choose(control<QComboBox>(u"profilePicker"_s), u"4444 XQ"_s);
        choose(control<QComboBox>(u"codecPicker"_s), u"H.264 (软件编码)"_s);
        QTRY_COMPARE(m_model->selectedProResProfile(), u"422"_s);
        QCOMPARE(control<QComboBox>(u"profilePicker"_s)->currentText(), u"422"_s);
    }

    void overwriteSwitchWritesAndFollows()
    {
        auto *overwrite = control<Switch>(u"overwriteSwitch"_s);
        QTest::mouseClick(overwrite, Qt::LeftButton);
        QVERIFY(m_model->overwriteOriginal());
        m_model->setOverwriteOriginal(false);
        QVERIFY(!overwrite->isChecked());
    }

    void bitrateField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("decimal point") << u"12.5"_s << 12.5 << u"12.5"_s;
        QTest::newRow("whole") << u" 8 "_s << 8.0 << u"8"_s;
        QTest::newRow("small") << u"0.25"_s << 0.25 << u"0.25"_s;
        QTest::newRow("trailing zeros") << u"3.50"_s << 3.5 << u"3.5"_s;
        QTest::newRow("decimal comma") << u"1,5"_s << 10.0 << u"10"_s;
        QTest::newRow("words") << u"fast"_s << 10.0 << u"10"_s;
        QTest::newRow("empty") << QString() << 10.0 << u"10"_s;
        QTest::newRow("negative") << u"-3"_s << 10.0 << u"10"_s;
        QTest::newRow("overflow") << u"1e400"_s << 10.0 << u"10"_s;
    }

    void bitrateField()
    {
        QFETCH(QString, typed);
        QFETCH(double, stored);
        QFETCH(QString, shown);
        auto *field = control<QLineEdit>(u"bitrateField"_s);
        QCOMPARE(field->placeholderText(), u"码率(Mbps)"_s);
        QCOMPARE(field->text(), u"10"_s);
        typeBitrate(field, typed);
        QCOMPARE(m_model->selectedBitrate(), stored);
        QCOMPARE(field->text(), shown);
    }

    void presetButtonsApplyTheirPreset_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<double>("bitrate");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("H264代理") << u"H264代理"_s << u"H.264 (硬件加速)"_s << u"mp4"_s << u"422"_s
                                  << 5.0 << false;
        QTest::newRow("ProRes 4444透明") << u"ProRes 4444透明"_s << u"ProRes (硬件加速)"_s
                                         << u"mov"_s << u"4444"_s << 0.0 << true;
        QTest::newRow("AV1极致压缩")
            << u"AV1极致压缩"_s << u"AV1 (软件编码)"_s << u"mp4"_s << u"422"_s << 1.0 << false;
    }

    void presetButtonsApplyTheirPreset()
    {
        QFETCH(QString, preset);
        QFETCH(QString, codec);
        QFETCH(QString, container);
        QFETCH(QString, profile);
        QFETCH(double, bitrate);
        QFETCH(bool, alpha);
        MainWindow window;
        TranscodeViewModel &model = window.model();
        model.setOverwriteOriginal(true);
        QPushButton *button = nullptr;
        for (QPushButton *candidate :
             child<QWidget>(window, u"presetBar"_s)->findChildren<QPushButton *>()) {
            if (candidate->text() == preset)
                button = candidate;
        }
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE(model.selectedProResProfile(), profile);
        QCOMPARE(model.selectedCodec(), codec);
        QCOMPARE(model.selectedContainer(), container);
        QCOMPARE(model.selectedBitrate(), bitrate);
        QCOMPARE(model.enableAlpha(), alpha);
        QCOMPARE(model.overwriteOriginal(), preset != u"AV1极致压缩"_s);
        QCOMPARE(child<QComboBox>(window, u"codecPicker"_s)->currentText(), codec);
        QCOMPARE(child<QLineEdit>(window, u"bitrateField"_s)->text(),
                 QString::number(bitrate, 'f', QLocale::FloatingPointShortest));
    }

    void everyControlFitsTheSmallestWindow()
    {
        MainWindow window;
        window.model().setSelectedCodec(u"HEVC (软件编码)"_s);
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const QString &name :
             {u"containerPicker"_s, u"alphaSwitch"_s, u"bitrateField"_s, u"overwriteSwitch"_s}) {
            auto *control = child<QWidget>(window, name);
            QTRY_VERIFY2(window.rect().contains(
                             QRect(control->mapTo(&window, QPoint(0, 0)), control->size())),
                         qPrintable(name));
        }
    }
};

QTEST_MAIN(TestSettingsPanel)
#include "tst_settingspanel.moc"
