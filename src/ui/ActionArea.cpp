#include "ui/ActionArea.h"

#include "session/RunClock.h"
#include "session/TranscodeViewModel.h"
#include "ui/LinkButton.h"
#include "ui/Look.h"
#include "ui/RunFigures.h"
#include "ui/Spinner.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int BarSteps = 1000;

// The most of a file name the progress panel shows; the rest is cut from the middle.
constexpr int FileLineWidth = 460;
// Failures named in the completion panel; every one is in its tooltip and on its card.
constexpr int NamedFailures = 3;

QPushButton *prominentButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setStyleSheet(Look::prominentButtonStyle());
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *captionLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(Look::caption(label->font()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Look::secondaryText(palette));
    label->setPalette(palette);
    return label;
}

QLabel *messageLabel(const QString &name, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->hide();
    return label;
}

void showWhenSet(QLabel *label, const QString &prefix, const QString &text)
{
    label->setText(prefix + text);
    label->setVisible(!text.isEmpty());
}

} // namespace

ActionArea::ActionArea(TranscodeViewModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(buildButtonRow());
    layout->addWidget(buildProgressPanel(), 0, Qt::AlignHCenter);
    layout->addWidget(buildCompletionPanel());

    m_error = messageLabel(u"errorLabel"_s, Look::red(), this);
    m_notice = messageLabel(u"noticeLabel"_s, Look::secondaryText(palette()), this);
    layout->addWidget(m_error);
    layout->addWidget(m_notice);

    connect(m_logToggle, &QToolButton::toggled, this, &ActionArea::logShown);

    for (const auto changed :
         {&TranscodeViewModel::isTranscodingChanged, &TranscodeViewModel::transcodeCompletedChanged,
          &TranscodeViewModel::videoFilesChanged, &TranscodeViewModel::lastOutputDirectoryChanged})
        connect(&model, changed, this, &ActionArea::followRunState);
    // Between runs the list may change: the panel sums up what it holds now.
    connect(&model.queue(), &JobQueue::jobsChanged, this, [this] {
        if (m_model.isTranscoding())
            return;
        followRunState();
        if (m_model.transcodeCompleted())
            followOutcomes();
    });
    connect(&model, &TranscodeViewModel::runProgressChanged, this, [this] {
        followFigures();
        followProgress();
    });
    connect(&model, &TranscodeViewModel::runTimesChanged, this, &ActionArea::followTimes);
    connect(&model, &TranscodeViewModel::runFinished, this, [this] {
        followOutcomes();
        m_folderNotOpened->hide();
        followMessages();
    });
    connect(&model, &TranscodeViewModel::lastErrorChanged, this, &ActionArea::followMessages);
    connect(&model, &TranscodeViewModel::runNoticeChanged, this, &ActionArea::followMessages);
    followRunState();
    followFigures();
    followProgress();
    followMessages();
}

QWidget *ActionArea::buildButtonRow()
{
    auto *row = new QWidget(this);
    auto *grid = new QGridLayout(row);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    m_startButton = prominentButton(u"开始转码"_s, row);
    m_startButton->setObjectName(u"startButton"_s);
    // The spinner takes the label's place while a run goes on; the button keeps its size.
    m_startButton->setMinimumSize(m_startButton->sizeHint());
    m_spinner = new Spinner(m_startButton);
    QPalette onBlue = m_spinner->palette();
    onBlue.setColor(QPalette::ButtonText, Qt::white);
    m_spinner->setPalette(onBlue);
    m_spinner->setFixedSize(16, 16);
    auto *spinnerLayout = new QHBoxLayout(m_startButton);
    spinnerLayout->setContentsMargins(0, 0, 0, 0);
    spinnerLayout->addWidget(m_spinner, 0, Qt::AlignCenter);
    connect(m_startButton, &QPushButton::clicked, this, &ActionArea::startRequested);

    m_stopButton = new QPushButton(u"停止转码"_s, row);
    m_stopButton->setObjectName(u"stopButton"_s);
    m_stopButton->setStyleSheet(Look::borderedButtonStyle());
    connect(m_stopButton, &QPushButton::clicked, &m_model, &TranscodeViewModel::cancelTranscoding);

    m_newRunButton = prominentButton(u"开始新的转码"_s, row);
    m_newRunButton->setObjectName(u"newRunButton"_s);
    connect(m_newRunButton, &QPushButton::clicked, &m_model, &TranscodeViewModel::clearAll);

    buttons->addWidget(m_startButton);
    buttons->addWidget(m_newRunButton);
    buttons->addWidget(m_stopButton);

    m_logToggle = new QToolButton(row);
    m_logToggle->setObjectName(u"logToggle"_s);
    m_logToggle->setText(u"日志"_s);
    m_logToggle->setCheckable(true);
    m_logToggle->setAutoRaise(true);

    // Equal side columns keep the buttons in the middle with the log toggle at the right.
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->addLayout(buttons, 0, 1);
    grid->addWidget(m_logToggle, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    return row;
}

QWidget *ActionArea::buildProgressPanel()
{
    m_progressPanel = new QWidget(this);
    m_progressPanel->setObjectName(u"progressPanel"_s);
    auto *layout = new QVBoxLayout(m_progressPanel);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(4);

    m_fileLine = captionLabel(m_progressPanel);
    m_fileLine->setObjectName(u"fileLine"_s);
    m_counter = captionLabel(m_progressPanel);
    m_counter->setObjectName(u"counterLine"_s);
    m_bar = new QProgressBar(m_progressPanel);
    m_bar->setObjectName(u"progressBar"_s);
    m_bar->setRange(0, BarSteps);
    m_bar->setTextVisible(false);
    m_bar->setFixedWidth(300);
    m_bar->setMaximumHeight(8);
    m_barMotion = new QPropertyAnimation(m_bar, "value", this);
    m_barMotion->setDuration(250);
    m_barMotion->setEasingCurve(QEasingCurve::InOutQuad);

    auto *statistics = new QHBoxLayout;
    statistics->setSpacing(16);
    m_frames = captionLabel(m_progressPanel);
    m_fps = captionLabel(m_progressPanel);
    m_bitrate = captionLabel(m_progressPanel);
    m_speed = captionLabel(m_progressPanel);
    for (QLabel *label : {m_frames, m_fps, m_bitrate, m_speed})
        statistics->addWidget(label);
    m_frames->setObjectName(u"framesFigure"_s);
    m_fps->setObjectName(u"fpsFigure"_s);
    m_bitrate->setObjectName(u"bitrateFigure"_s);
    m_speed->setObjectName(u"speedFigure"_s);
    m_percent = captionLabel(m_progressPanel);
    m_percent->setObjectName(u"percentFigure"_s);
    m_times = captionLabel(m_progressPanel);
    m_times->setObjectName(u"timeLine"_s);

    // Four lines: the file and the counter, the bar and its percentage, ffmpeg's figures,
    // the times.
    const auto row = [layout](std::initializer_list<QWidget *> widgets) {
        auto *line = new QHBoxLayout;
        line->setSpacing(10);
        for (QWidget *widget : widgets)
            line->addWidget(widget);
        layout->addLayout(line);
        layout->setAlignment(line, Qt::AlignHCenter);
    };
    row({m_fileLine, m_counter});
    row({m_bar, m_percent});
    layout->addLayout(statistics);
    layout->setAlignment(statistics, Qt::AlignHCenter);
    layout->addWidget(m_times, 0, Qt::AlignHCenter);
    return m_progressPanel;
}

QWidget *ActionArea::buildCompletionPanel()
{
    m_completionPanel = new QWidget(this);
    m_completionPanel->setObjectName(u"completionPanel"_s);
    auto *layout = new QVBoxLayout(m_completionPanel);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(6);

    m_completionTitle = new QLabel(u"转码完成!"_s, m_completionPanel);
    m_completionTitle->setObjectName(u"completionTitle"_s);
    m_completionTitle->setFont(Look::headline(m_completionTitle->font()));
    QPalette green = m_completionTitle->palette();
    green.setColor(QPalette::WindowText, Look::green());
    m_completionTitle->setPalette(green);
    m_summary = captionLabel(m_completionPanel);
    m_summary->setObjectName(u"summaryLine"_s);
    m_replaced = captionLabel(m_completionPanel);
    m_replaced->setObjectName(u"replacedLine"_s);
    m_failures = messageLabel(u"failureList"_s, Look::red(), m_completionPanel);

    m_retryButton = new QPushButton(u"重试失败的文件"_s, m_completionPanel);
    m_retryButton->setObjectName(u"retryButton"_s);
    m_removeDoneButton = new QPushButton(u"移除已完成"_s, m_completionPanel);
    m_removeDoneButton->setObjectName(u"removeDoneButton"_s);
    for (QPushButton *button : {m_retryButton, m_removeDoneButton})
        button->setStyleSheet(Look::borderedButtonStyle(true));
    connect(m_retryButton, &QPushButton::clicked, this, &ActionArea::retryRequested);
    connect(m_removeDoneButton, &QPushButton::clicked, &m_model,
            &TranscodeViewModel::removeConvertedFiles);

    m_folderLink = new LinkButton(m_completionPanel);
    m_folderLink->setObjectName(u"outputFolderLink"_s);
    connect(m_folderLink, &QPushButton::clicked, &m_model, &TranscodeViewModel::openOutputFolder);
    m_folderNotOpened =
        messageLabel(u"folderNotOpened"_s, Look::secondaryText(palette()), m_completionPanel);

    auto *heading = new QHBoxLayout;
    heading->setSpacing(12);
    heading->addWidget(m_completionTitle);
    heading->addWidget(m_summary);
    layout->addLayout(heading);
    layout->setAlignment(heading, Qt::AlignHCenter);
    layout->addWidget(m_replaced, 0, Qt::AlignHCenter);
    layout->addWidget(m_failures);
    // The link may be cut to fit; the buttons never are.
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch();
    buttons->addWidget(m_retryButton);
    buttons->addWidget(m_removeDoneButton);
    buttons->addWidget(m_folderLink);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addWidget(m_folderNotOpened);
    return m_completionPanel;
}

void ActionArea::followRunState()
{
    const bool running = m_model.isTranscoding();
    const bool completed = m_model.transcodeCompleted();
    m_startButton->setVisible(m_model.offersStart());
    // Only while some listed file is not converted yet: a list taken back whole has nothing
    // left to run.
    m_startButton->setEnabled(!running && m_model.hasFilesToConvert());
    const bool spinning = running && !completed;
    m_startButton->setText(spinning ? QString() : u"开始转码"_s);
    // Still blue while it spins, paler than when it can be pressed.
    if (m_startButton->property("running").toBool() != spinning) {
        m_startButton->setProperty("running", spinning);
        m_startButton->style()->unpolish(m_startButton);
        m_startButton->style()->polish(m_startButton);
    }
    m_spinner->setVisible(spinning);
    m_stopButton->setVisible(running);
    m_newRunButton->setVisible(completed);

    m_progressPanel->setVisible(running);
    m_completionPanel->setVisible(completed);
    const QString folder = m_model.lastOutputDirectory();
    m_folderLink->setText(u"打开输出文件夹: "_s + folder);
    m_folderLink->setToolTip(folder);
    m_folderLink->setVisible(!folder.isEmpty());
}

void ActionArea::followFigures()
{
    m_fileLine->setText(m_fileLine->fontMetrics().elidedText(
        u"正在处理: "_s + m_model.currentFileName(), Qt::ElideMiddle, FileLineWidth));
    m_fileLine->setVisible(!m_model.currentFileName().isEmpty());
    m_counter->setText(RunFigures::counter(m_model.currentFileIndex(), m_model.totalFiles()));
    m_frames->setText(RunFigures::frames(m_model.currentFrame()));
    m_fps->setText(RunFigures::fps(m_model.currentFPS()));
    m_bitrate->setText(RunFigures::bitrate(m_model.currentBitrate()));
    m_speed->setText(RunFigures::speed(m_model.currentSpeed()));
}

void ActionArea::followProgress()
{
    const double progress = m_model.transcodeProgress();
    m_percent->setText(RunFigures::percentText(progress));
    const double fraction = progress > 0 ? qMin(progress, 1.0) : 0.0;
    const int target = static_cast<int>(fraction * BarSteps);
    m_barMotion->stop();
    if (m_progressPanel->isHidden()) {
        m_bar->setValue(target);
        return;
    }
    m_barMotion->setStartValue(m_bar->value());
    m_barMotion->setEndValue(target);
    m_barMotion->start();
}

void ActionArea::followMessages()
{
    // After a run that went on past its failures, the completion panel lists them instead.
    showWhenSet(m_error, u"转码失败: "_s,
                m_model.transcodeCompleted() ? QString() : m_model.lastError());
    showWhenSet(m_notice, QString(), m_model.runNotice());
}

void ActionArea::followTimes()
{
    const RunTimes times = m_model.runTimes();
    QString text = u"已用 "_s + clockText(times.elapsed);
    if (!times.remaining) {
        text += u" · 剩余时间估算中…"_s;
    } else {
        text += u" · 剩余约 "_s + clockText(*times.remaining);
        // On the last file both say the same.
        if (times.fileRemaining && clockText(*times.fileRemaining) != clockText(*times.remaining))
            text += u" · 本文件剩余约 "_s + clockText(*times.fileRemaining);
    }
    m_times->setText(text);
}

void ActionArea::followOutcomes()
{
    // Every file's fate as the list holds it, so a retry's summary counts the earlier run's
    // results too.
    const JobQueue &queue = m_model.queue();
    const JobQueue::Counts outcomes = queue.outcomes();
    const bool anyFailed = outcomes.failed > 0;
    // Worded as the notification words it.
    m_completionTitle->setText(anyFailed ? RunSummary::completedTitle(outcomes.failed)
                                         : u"转码完成!"_s);
    QPalette tone = m_completionTitle->palette();
    tone.setColor(QPalette::WindowText, anyFailed ? Look::red() : Look::green());
    m_completionTitle->setPalette(tone);
    m_summary->setText(RunSummary::countsText(outcomes.done, outcomes.failed, outcomes.skipped));
    QStringList failures;
    int replacedSources = 0;
    int replacedOutputs = 0;
    for (int row = 0; row < queue.rowCount(); ++row) {
        const JobRecord &job = queue.job(row);
        if (job.status == JobRecord::Status::Failed)
            failures << queue.files().at(row).name + u": "_s + job.outcome.reason;
        const bool done = job.status == JobRecord::Status::Done;
        replacedSources += done && job.outcome.replacedSource;
        replacedOutputs += done && job.outcome.replacedOutput;
    }
    // Where the files went that results took the place of.
    QStringList replaced;
    if (replacedSources > 0)
        replaced << u"已替换 %1 个原文件，原文件已移到回收站"_s.arg(replacedSources);
    if (replacedOutputs > 0)
        replaced << u"%1 个旧的转码结果已移到回收站"_s.arg(replacedOutputs);
    showWhenSet(m_replaced, QString(), replaced.join(u"；"_s));
    QString named = failures.mid(0, NamedFailures).join(u'\n');
    if (failures.size() > NamedFailures)
        named += u"\n…（共 %1 个失败，详见各文件的卡片）"_s.arg(failures.size());
    showWhenSet(m_failures, QString(), named);
    m_failures->setToolTip(failures.size() > NamedFailures ? failures.join(u'\n') : QString());
    m_retryButton->setVisible(anyFailed);
    m_removeDoneButton->setVisible(outcomes.done > 0);
}

void ActionArea::showFolderNotOpened(const QString &folder)
{
    showWhenSet(m_folderNotOpened, u"没有可用的文件管理器来打开文件夹。输出文件夹位于：\n"_s,
                folder);
}
