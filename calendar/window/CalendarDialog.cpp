#include "calendar/window/CalendarDialog.h"

#include "calendar/CalendarColours.h"
#include "calendar/CalendarStore.h"
#include "calendar/DayDecision.h"
#include "ui_CalendarDialog.h"
#include "widgets/UserPrompts.h"
#include "widgets/WeekStart.h"

#include <QDate>
#include <QDir>
#include <QItemSelectionModel>
#include <QLocale>
#include <QSet>
#include <QTextCharFormat>
#include <algorithm>
#include <iterator>
#include <utility>

namespace halvix {

namespace {

QColor colour(const Rgb& rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

// The month view's mark of a date; the legend shows the same.
QTextCharFormat dayFormat(const DayColours& colours) {
    QTextCharFormat format;
    format.setBackground(colour(colours.background));
    format.setForeground(colour(colours.text));
    return format;
}

CivilDate toCivil(const QDate& date) {
    return {date.year(), date.month(), date.day()};
}

QDate toQDate(const CivilDate& date) {
    return QDate(date.year, date.month, date.day);
}

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

std::string shownPath(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

QString legendItem(const DayColours& colours) {
    return QStringLiteral("<span style=\"background-color:%1; color:%2\">&nbsp;%3&nbsp;</span>")
        .arg(colour(colours.background).name(), colour(colours.text).name(), text(colours.name));
}

} // namespace

CalendarDialog::CalendarDialog(std::filesystem::path programFolder, int storedDayType, int storedSeason,
                               UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CalendarDialog>()),
      m_programFolder(std::move(programFolder)), m_storedDayType(storedDayType), m_storedSeason(storedSeason),
      m_prompts(prompts), m_model(m_list) {
    m_ui->setupUi(this);
    // Month and weekday names in Chinese, weeks from Monday, whatever the system's language.
    setLocale(QLocale(QLocale::Chinese, QLocale::China));
    beginWeeksOnMonday(this);
    showAsList(*m_ui->entryList, m_model);
    // Room for the longest reasons (a 调休 in a term set by date) without a scroll bar.
    m_ui->decisionLabel->setMinimumHeight(4 * m_ui->decisionLabel->fontMetrics().lineSpacing());
    m_ui->decisionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (int t = 0; t < kCalendarTypeCount; ++t)
        m_ui->typeCombo->addItem(text(calendarTypeName(static_cast<CalendarType>(t))));
    for (int w = 1; w <= 7; ++w)
        m_ui->weekdayCombo->addItem(text(weekdayName(w)));
    QStringList legend;
    for (const DayColours& kind : {kSilentDay, kMakeUpDay, kExamDay, kSpringTerm, kAutumnTerm})
        legend << legendItem(kind);
    m_ui->legendLabel->setText(legend.join(QLatin1Char(' ')) + QStringLiteral(" <b><u>开学</u></b>"));
    for (const Qt::DayOfWeek day : {Qt::Saturday, Qt::Sunday})
        m_ui->monthView->setWeekdayTextFormat(day, dayFormat(kWeekendDay));
    m_ui->legendLabel->setToolTip(QStringLiteral(
        "春季、秋季: 由校历定的学期; 粗体带下划线: 学期的第一天; 停铃的日期加框; 周六、周日为红字"));
    const QDate today = QDate::currentDate();
    m_ui->startDate->setDate(today);
    m_ui->endDate->setDate(today);
    onTypeChanged();

    connect(m_ui->addButton, &QPushButton::clicked, this, &CalendarDialog::onAdd);
    connect(m_ui->changeButton, &QPushButton::clicked, this, &CalendarDialog::onChange);
    connect(m_ui->deleteButton, &QPushButton::clicked, this, &CalendarDialog::onDelete);
    connect(m_ui->saveButton, &QPushButton::clicked, this, &CalendarDialog::onSave);
    connect(m_ui->importButton, &QPushButton::clicked, this, &CalendarDialog::onImport);
    connect(m_ui->exportButton, &QPushButton::clicked, this, &CalendarDialog::onExport);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->typeCombo, &QComboBox::currentIndexChanged, this, &CalendarDialog::onTypeChanged);
    connect(m_ui->entryList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CalendarDialog::onRowSelected);
    connect(m_ui->monthView, &QCalendarWidget::currentPageChanged, this, &CalendarDialog::paintMonth);
    connect(m_ui->monthView, &QCalendarWidget::selectionChanged, this,
            [this] { showDecision(m_ui->monthView->selectedDate()); });
    // A start after the end would be refused at 添加; moving the start drags the end along.
    connect(m_ui->startDate, &QDateEdit::dateChanged, this, [this](const QDate& start) {
        if (m_ui->endDate->date() < start)
            m_ui->endDate->setDate(start);
    });

    m_entries = loadCalendar(m_programFolder, m_prompts);
    sortByStart(m_entries);
    m_stored = m_entries;
    showEntries(-1);
}

CalendarDialog::~CalendarDialog() = default;

CalendarEntry CalendarDialog::editorEntry() const {
    CalendarEntry entry;
    entry.start = toCivil(m_ui->startDate->date());
    entry.end = toCivil(m_ui->endDate->date());
    entry.type = static_cast<CalendarType>(std::max(0, m_ui->typeCombo->currentIndex()));
    entry.weekday = entry.type == CalendarType::MakeUp ? m_ui->weekdayCombo->currentIndex() + 1 : 0;
    entry.note = m_ui->noteEdit->text().toStdString();
    return entry;
}

void CalendarDialog::showInEditor(const CalendarEntry& entry) {
    // The end first: moving the start past the old end would drag it.
    m_ui->endDate->setDate(toQDate(entry.end));
    m_ui->startDate->setDate(toQDate(entry.start));
    m_ui->endDate->setDate(toQDate(entry.end));
    m_ui->typeCombo->setCurrentIndex(static_cast<int>(entry.type));
    if (entry.type == CalendarType::MakeUp)
        m_ui->weekdayCombo->setCurrentIndex(entry.weekday - 1);
    m_ui->noteEdit->setText(QString::fromStdString(entry.note));
}

void CalendarDialog::showEntries(int row) {
    TextList cells;
    for (const CalendarEntry& entry : m_entries) {
        TextList shown = entryCells(entry);
        if (entry.type == CalendarType::MakeUp)
            shown[3] = std::string(weekdayName(entry.weekday)); // people read 星期一, not 1
        cells.insert(cells.end(), shown.begin(), shown.end());
    }
    if (cells.empty())
        m_model.setListColumns(calendarColumns());
    else
        m_model.fillList(calendarColumns(), cells);
    if (row >= 0 && row < static_cast<int>(m_entries.size()))
        m_ui->entryList->selectRow(row);
    paintMonth();
    showDecision(m_ui->monthView->selectedDate());
}

int CalendarDialog::selectedRow() const {
    const QModelIndexList rows = m_ui->entryList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void CalendarDialog::onRowSelected() {
    const int row = selectedRow();
    if (row < 0 || row >= static_cast<int>(m_entries.size()))
        return;
    const CalendarEntry& entry = m_entries[static_cast<std::size_t>(row)];
    showInEditor(entry);
    m_ui->monthView->setSelectedDate(toQDate(entry.start));
}

void CalendarDialog::onTypeChanged() {
    const bool makeUp = m_ui->typeCombo->currentIndex() == static_cast<int>(CalendarType::MakeUp);
    m_ui->weekdayCombo->setEnabled(makeUp);
    m_ui->weekdayLabel->setEnabled(makeUp);
}

void CalendarDialog::onAdd() {
    CalendarEntry entry = editorEntry();
    const std::string problem = entryProblem(entry);
    if (!problem.empty()) {
        notify("无法添加: " + problem, MessageIcon::Warning);
        return;
    }
    m_entries.push_back(entry);
    // Stable: the new entry stays after those with the same start, the later row of equal ranges.
    sortByStart(m_entries);
    const auto at = std::find(m_entries.rbegin(), m_entries.rend(), entry);
    showEntries(static_cast<int>(std::distance(at, m_entries.rend())) - 1);
}

void CalendarDialog::onChange() {
    const int row = selectedRow();
    if (row < 0) {
        notify("请先在列表中选择要修改的一行。", MessageIcon::Warning);
        return;
    }
    CalendarEntry entry = editorEntry();
    const std::string problem = entryProblem(entry);
    if (!problem.empty()) {
        notify("无法修改: " + problem, MessageIcon::Warning);
        return;
    }
    std::vector<CalendarEntry> changed = m_entries;
    changed[static_cast<std::size_t>(row)] = entry;
    sortByStart(changed);
    m_entries = std::move(changed);
    const auto at = std::find(m_entries.begin(), m_entries.end(), entry);
    showEntries(static_cast<int>(std::distance(m_entries.begin(), at)));
}

void CalendarDialog::onDelete() {
    const int row = selectedRow();
    if (row < 0) {
        notify("请先在列表中选择要删除的一行。", MessageIcon::Warning);
        return;
    }
    m_entries.erase(m_entries.begin() + row);
    showEntries(std::min(row, static_cast<int>(m_entries.size()) - 1));
}

void CalendarDialog::onSave() {
    if (save())
        notify("已保存!", MessageIcon::Information);
}

bool CalendarDialog::save() {
    // saveCalendar checks every entry first and names the bad row; nothing is written then.
    if (!saveCalendar(m_programFolder, m_entries, m_prompts))
        return false;
    if (m_entries != m_stored) {
        m_stored = m_entries;
        m_savedChanges = true;
        emit calendarSaved();
    }
    return true;
}

void CalendarDialog::done(int result) {
    // 关闭, Esc and the close box all end here: changes not yet saved are never dropped unasked.
    if (m_entries != m_stored &&
        !mayCloseUnsaved(m_prompts, {"校历已修改但尚未保存。\n是否保存?", "校历", MessageIcon::Question},
                         [this] { return save(); }))
        return;
    QDialog::done(result);
}

void CalendarDialog::onImport() {
    const QString path = m_prompts.openFileName(QStringLiteral("校历 (*.csv);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    std::vector<CalendarEntry> read;
    std::string error;
    if (!readCalendarCsv(toPath(path), read, error)) {
        notify("无法导入 " + shownPath(path) + ":\n" + error, MessageIcon::Critical);
        return;
    }
    // 保存 after an empty import would delete every entry: entries are deleted one by one instead.
    if (read.empty()) {
        notify("无法导入 " + shownPath(path) + ":\n文件中没有任何校历条目。\n校历未改变。",
               MessageIcon::Warning);
        return;
    }
    sortByStart(read);
    m_entries = std::move(read);
    showEntries(-1);
    notify("已导入 " + std::to_string(m_entries.size()) + " 条, 按 保存 后生效。", MessageIcon::Information);
}

void CalendarDialog::onExport() {
    const QString path = m_prompts.saveFileName(QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("csv"),
                                                QStringLiteral("校历.csv"));
    if (path.isEmpty())
        return;
    if (writeCalendarCsv(toPath(path), m_entries))
        m_prompts.show({"已导出" + shownPath(path), "", MessageIcon::Information});
    else
        notify("无法写入 " + shownPath(path), MessageIcon::Critical);
}

void CalendarDialog::paintMonth() {
    MonthView* view = m_ui->monthView;
    view->setDateTextFormat(QDate(), QTextCharFormat()); // forget the last page's colours
    QSet<QDate> silentDates;
    // The page shows up to six weeks around the month.
    const QDate first = QDate(view->yearShown(), view->monthShown(), 1).addDays(-7);
    const QDate last = first.addDays(7 + 31 + 14);
    int lastSeason =
        decideDay(toCivil(first.addDays(-1)), m_storedDayType, m_storedSeason, m_entries).season.value;
    for (QDate date = first; date <= last; date = date.addDays(1)) {
        const DayDecision decision = decideDay(toCivil(date), m_storedDayType, m_storedSeason, m_entries);
        QTextCharFormat format;
        if (decision.silent)
            format = dayFormat(kSilentDay);
        else if (decision.weekday.byCalendar())
            format = dayFormat(kMakeUpDay);
        else if (decision.dayType.byCalendar() && decision.dayType.value == 2)
            format = dayFormat(kExamDay);
        else if (decision.season.byCalendar())
            format = dayFormat(decision.season.value == 2 ? kAutumnTerm : kSpringTerm);
        if (decision.silent)
            silentDates.insert(date);
        // A weekend stays red on its mark; a 调休 is a school day and reads as one.
        if (date.dayOfWeek() >= Qt::Saturday && !decision.weekday.byCalendar() &&
            format.hasProperty(QTextFormat::BackgroundBrush))
            format.setForeground(colour(kWeekendText));
        if (decision.season.value != lastSeason) {
            format.setFontWeight(QFont::Bold);
            format.setFontUnderline(true);
        }
        lastSeason = decision.season.value;
        if (format.hasProperty(QTextFormat::BackgroundBrush) || format.fontUnderline())
            view->setDateTextFormat(date, format);
    }
    view->setFramedDates(std::move(silentDates), colour(kSilentDay.text));
}

void CalendarDialog::showDecision(const QDate& date) {
    if (!date.isValid()) {
        m_ui->decisionLabel->clear();
        return;
    }
    const DayDecision decision = decideDay(toCivil(date), m_storedDayType, m_storedSeason, m_entries);
    m_ui->decisionLabel->setText(QString::fromStdString(decisionReasons(decision, m_entries)));
}

void CalendarDialog::notify(const std::string& message, MessageIcon icon) {
    m_prompts.show({message, "校历", icon});
}

} // namespace halvix
