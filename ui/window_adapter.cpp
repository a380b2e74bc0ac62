#include "ui/window_adapter.h"

#include "res/resource.h"
#include "ui/message_box.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <string_view>

struct QtWindowAdapter::Pending {
    std::atomic<bool> done{false};
    std::string text; // written under the adapter's mutex before done is set
    std::atomic<bool> checked{false};
};

QtWindowAdapter::QtWindowAdapter(QWidget* dialog, ControlLookup lookup, int listId)
    : m_dialog(dialog), m_lookup(std::move(lookup)), m_listId(listId) {
    connect(this, &QtWindowAdapter::WakeUp, this, &QtWindowAdapter::RunQueued,
            Qt::QueuedConnection);
}

QtWindowAdapter::~QtWindowAdapter() {
    BeginClosing();
}

bool QtWindowAdapter::OnGuiThread() const {
    return QThread::currentThread() == thread();
}

void QtWindowAdapter::ReleaseWaiters() {
    {
        // Under the lock, so a worker between its check and its wait cannot miss it.
        std::lock_guard lock(m_mutex);
        m_closing.store(true);
    }
    m_answered.notify_all();
}

void QtWindowAdapter::BeginClosing() {
    ReleaseWaiters();
    if (m_dialog) {
        for (QMessageBox* box :
             m_dialog->findChildren<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (box->property("sarnovalEngineBox").toBool()) {
                box->close();
            }
        }
    }
}

bool QtWindowAdapter::WaitForGui(const std::shared_ptr<Pending>& pending,
                                 std::function<void(const std::shared_ptr<Pending>&)> ask) {
    if (m_closing.load()) {
        return false;
    }
    Post([pending, ask = std::move(ask)] { ask(pending); });
    std::unique_lock lock(m_mutex);
    m_answered.wait(lock, [&] { return pending->done.load() || m_closing.load(); });
    return pending->done.load();
}

void QtWindowAdapter::Post(std::function<void()> work) {
    if (m_closing.load()) {
        return;
    }
    bool wake = false;
    {
        std::lock_guard lock(m_queueMutex);
        wake = m_queue.empty();
        m_queue.push_back(std::move(work));
    }
    // One wake-up per batch: RunQueued takes everything queued until it runs.
    if (wake) {
        emit WakeUp();
    }
}

void QtWindowAdapter::RunQueued() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(m_queueMutex);
        batch.swap(m_queue);
    }
    for (const auto& work : batch) {
        if (m_closing.load()) {
            return;
        }
        work();
    }
}

namespace {

// The engine takes text in the local 8-bit code page. On Windows a character
// that page lacks would become a look-alike ("Ł" as "L"), and a file name then
// names another file; here it becomes "?", which no Windows name may hold, so
// the name opens nothing and the line still shows where it was.
std::string ExactLocal8Bit(const QString& text) {
    QByteArray bytes = text.toLocal8Bit();
    if (QString::fromLocal8Bit(bytes) == text) {
        return bytes.toStdString();
    }
    bytes.clear();
    for (const uint code : text.toUcs4()) {
        const char32_t c = code;
        const QString one = QString::fromUcs4(&c, 1);
        const QByteArray converted = one.toLocal8Bit();
        bytes += QString::fromLocal8Bit(converted) == one ? converted : QByteArray("?");
    }
    return bytes.toStdString();
}

} // namespace

std::string QtWindowAdapter::ReadText(int id) const {
    QWidget* widget = m_lookup(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return ExactLocal8Bit(edit->text());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return ExactLocal8Bit(button->text());
    }
    return widget ? ExactLocal8Bit(widget->windowTitle()) : std::string();
}

bool QtWindowAdapter::ReadChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(m_lookup(id));
    return button && button->isChecked();
}

std::string QtWindowAdapter::GetDlgItemText(int id, std::size_t capacity) {
    if (OnGuiThread()) {
        return m_closing.load() ? std::string() : sarnoval::CutToCapacity(ReadText(id), capacity);
    }
    auto pending = std::make_shared<Pending>();
    const bool answered = WaitForGui(pending, [this, id](const std::shared_ptr<Pending>& p) {
        std::string text = ReadText(id);
        {
            std::lock_guard lock(m_mutex);
            p->text = std::move(text);
            p->done.store(true);
        }
        m_answered.notify_all();
    });
    return answered ? sarnoval::CutToCapacity(std::move(pending->text), capacity) : std::string();
}

bool QtWindowAdapter::IsDlgButtonChecked(int id) {
    if (OnGuiThread()) {
        return !m_closing.load() && ReadChecked(id);
    }
    auto pending = std::make_shared<Pending>();
    const bool answered = WaitForGui(pending, [this, id](const std::shared_ptr<Pending>& p) {
        const bool checked = ReadChecked(id);
        {
            std::lock_guard lock(m_mutex);
            p->checked.store(checked);
            p->done.store(true);
        }
        m_answered.notify_all();
    });
    return answered && pending->checked.load();
}

void QtWindowAdapter::SetDlgItemInt(int id, std::uint64_t value) {
    const QString text = QString::number(value);
    auto show = [this, id, text] {
        if (auto* edit = qobject_cast<QLineEdit*>(m_lookup(id))) {
            edit->setText(text);
        }
    };
    if (id == IDC_KB_COUNT && m_lastCounter.exchange(value) == value) {
        return; // already shown: the counter loop repeats itself every 10 ms
    }
    if (OnGuiThread()) {
        if (!m_closing.load()) {
            show();
        }
        return;
    }
    Post(std::move(show));
}

QString VisibleLine(const QString& line) {
    QString shown = line;
    for (QChar& c : shown) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            c = QLatin1Char('?');
        }
    }
    return shown;
}

QString DescribeResult(const sarnoval::ResultFigures& figures, const sarnoval::StorageFacts& facts,
                       const QDateTime& when) {
    const auto text = [](const std::string& s) { return QString::fromLocal8Bit(s); };
    QStringList lines;
    lines << QtWindowAdapter::tr("Folder: %1")
                 .arg(QDir::toNativeSeparators(QString::fromStdWString(figures.where.wstring())));
    if (!facts.mountPoint.empty()) {
        lines << QtWindowAdapter::tr("Volume: %1, %2")
                     .arg(text(facts.mountPoint), text(facts.fsType));
    }
    QStringList device;
    for (const std::string* part :
         {&facts.device, &facts.model, &facts.bus, &facts.link, &facts.driveType}) {
        if (!part->empty()) {
            device << text(*part);
        }
    }
    if (!device.isEmpty()) {
        lines << QtWindowAdapter::tr("Device: %1").arg(device.join(QStringLiteral(", ")));
    }
    lines << (figures.direct
                  ? QtWindowAdapter::tr("The transfers went past the system's cache.")
                  : QtWindowAdapter::tr("The transfers went through the system's cache."));
    lines << QtWindowAdapter::tr("Measured at %1")
                 .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    const auto speed = [&](std::uint64_t ms) {
        return ms ? static_cast<double>(figures.bytes) * 1000.0 / static_cast<double>(ms) : 0.0;
    };
    for (const std::string& warning :
         sarnoval::Warnings(facts, figures.direct, speed(figures.writeMs), speed(figures.readMs))) {
        lines << text(warning);
    }
    return lines.join(QLatin1Char('\n'));
}

void QtWindowAdapter::AddString(const std::string& line) {
    Add(line, QString());
}

void QtWindowAdapter::AddResult(const std::string& line, const sarnoval::ResultFigures& figures) {
    // Read here, on the test's thread: the volume's facts come from the system.
    Add(line, DescribeResult(figures, sarnoval::DescribeStorage(figures.where),
                             QDateTime::currentDateTime()));
}

void QtWindowAdapter::Add(const std::string& line, const QString& about) {
    auto add = [this, exact = QString::fromLocal8Bit(line), about] {
        if (auto* list = qobject_cast<QListWidget*>(m_lookup(m_listId))) {
            // A newline in a file name must not make one line look like two;
            // the engine's own line stays with the item.
            auto* item = new QListWidgetItem(VisibleLine(exact));
            item->setData(Qt::UserRole, exact);
            if (!about.isEmpty()) {
                item->setToolTip(about);
                item->setData(Qt::AccessibleDescriptionRole, about);
            }
            list->addItem(item);
        }
    };
    if (OnGuiThread()) {
        if (!m_closing.load()) {
            add();
        }
        return;
    }
    Post(std::move(add));
}

namespace {

// The engine's fixed texts, which stay free of Qt in the engine: marked here
// so that lupdate finds them. Only these are translated; anything else, a file
// name say, is local 8-bit and must not be read as UTF-8.
const char* const kEngineTexts[] = {
    //: Message box when the drive test cannot create its file
    QT_TRANSLATE_NOOP("Engine", "Error testing drive, could not open file for writing."),
    //: Message box when the drive test cannot open its file again to read it back
    QT_TRANSLATE_NOOP("Engine", "Error testing drive, could not open file for reading."),
    //: Message box when writing the drive test's file fails
    QT_TRANSLATE_NOOP("Engine", "Error testing drive, could not write the file."),
    //: Message box when reading the drive test's file back fails
    QT_TRANSLATE_NOOP("Engine", "Error testing drive, could not read the file."),
    //: Message box when the drive returned other data than the test wrote
    QT_TRANSLATE_NOOP("Engine", "Error testing drive, the data read back is not what was written."),
    //: Why the drive test could not start
    QT_TRANSLATE_NOOP("Engine", "There is not enough memory for the test."),
};

// The one detail with a part of its own: the drive letter typed.
//: Why the drive test could not start; %1 is the drive letter typed
const char* const kNoDrive = QT_TRANSLATE_NOOP("Engine", "No drive is named \"%1\".");

} // namespace

QString EngineText(const std::string& text) {
    for (const char* known : kEngineTexts) {
        if (text == known) {
            return QCoreApplication::translate("Engine", known);
        }
    }
    const std::string_view noDrive(kNoDrive);
    const std::size_t at = noDrive.find("%1");
    const std::string_view before = noDrive.substr(0, at);
    const std::string_view after = noDrive.substr(at + 2);
    if (text.size() >= before.size() + after.size() && text.starts_with(before) &&
        text.ends_with(after)) {
        const std::string letter =
            text.substr(before.size(), text.size() - before.size() - after.size());
        return QCoreApplication::translate("Engine", kNoDrive).arg(QString::fromLocal8Bit(letter));
    }
    return QString::fromLocal8Bit(text);
}

QMessageBox* QtWindowAdapter::MakeBox(const std::string& text, const std::string& detail) {
    QMessageBox* box = MakeMessageBox(m_dialog, EngineText(text));
    box->setInformativeText(EngineText(detail));
    box->setProperty("sarnovalEngineBox", true);
    return box;
}

void QtWindowAdapter::MessageBox(const std::string& text, const sarnoval::FailureDetail& detail) {
    if (OnGuiThread()) {
        if (!m_closing.load()) {
            MakeBox(text, detail.text)->exec();
        }
        return;
    }
    auto pending = std::make_shared<Pending>();
    WaitForGui(pending, [this, text, detail = detail.text](const std::shared_ptr<Pending>& p) {
        QMessageBox* box = MakeBox(text, detail);
        // Dismissed by its button, Escape or its close box; closing the dialog
        // ends the wait by itself.
        connect(box, &QDialog::finished, this, [this, p] {
            {
                std::lock_guard lock(m_mutex);
                p->done.store(true);
            }
            m_answered.notify_all();
        });
        box->open();
    });
}

void QtWindowAdapter::SetDriveLetters(sarnoval::DriveMap map) {
    std::lock_guard lock(m_lettersMutex);
    m_letters = std::move(map);
}

sarnoval::DriveMap QtWindowAdapter::DriveLetters() {
    std::lock_guard lock(m_lettersMutex);
    return m_letters;
}
