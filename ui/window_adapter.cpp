#include "ui/window_adapter.h"

#include "res/resource.h"
#include "ui/message_box.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

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

void QtWindowAdapter::AddString(const std::string& line) {
    auto add = [this, exact = QString::fromLocal8Bit(line)] {
        if (auto* list = qobject_cast<QListWidget*>(m_lookup(m_listId))) {
            // A newline in a file name must not make one line look like two;
            // the engine's own line stays with the item.
            auto* item = new QListWidgetItem(VisibleLine(exact));
            item->setData(Qt::UserRole, exact);
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

QMessageBox* QtWindowAdapter::MakeBox(const std::string& text) {
    QMessageBox* box = MakeMessageBox(m_dialog, QString::fromLocal8Bit(text));
    box->setProperty("sarnovalEngineBox", true);
    return box;
}

void QtWindowAdapter::MessageBox(const std::string& text) {
    if (OnGuiThread()) {
        if (!m_closing.load()) {
            MakeBox(text)->exec();
        }
        return;
    }
    auto pending = std::make_shared<Pending>();
    WaitForGui(pending, [this, text](const std::shared_ptr<Pending>& p) {
        QMessageBox* box = MakeBox(text);
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
