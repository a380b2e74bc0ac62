#include "ui/drive_map_source.h"

#include <QStringList>

QString DescribeDriveMap(const sarnoval::DriveMap& map) {
    QStringList lines;
    for (const auto& [letter, folder] : map) {
        const QString line = QStringLiteral("%1: %2").arg(QChar::fromLatin1(letter),
                                                          QString::fromLocal8Bit(folder.string()));
        if (letter == 'C') {
            lines.prepend(line);
        } else {
            lines.append(line);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

DriveMapReader::DriveMapReader(QObject* parent) : QObject(parent), m_source(ReadMountedDriveMap) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { Deliver(true); });
    // Made here, on the GUI thread: the worker only emits, so no functor of
    // ours travels inside Qt's event, where ThreadSanitizer cannot follow it.
    connect(
        this, &DriveMapReader::MapRead, this, [this] { Deliver(false); }, Qt::QueuedConnection);
}

DriveMapReader::~DriveMapReader() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void DriveMapReader::SetSource(Source source) {
    m_source = source ? std::move(source) : ReadMountedDriveMap;
}

void DriveMapReader::Read(Then then) {
    m_waiting.push_back(std::move(then));
    std::unique_lock lock(m_mutex);
    if (!m_reading) {
        // The last read is over, so this join is immediate.
        if (m_worker.joinable()) {
            m_worker.join();
        }
        m_reading = true;
        m_worker = std::thread([this, source = m_source] {
            sarnoval::DriveMap map = source();
            {
                std::lock_guard guard(m_mutex);
                m_fresh = std::move(map);
                m_reading = false;
            }
            m_done.notify_all();
            emit MapRead();
        });
    }
    // A bounded wait on the worker, not an event loop: nothing else runs meanwhile.
    if (m_done.wait_for(lock, std::chrono::milliseconds(kQuickMs), [this] { return !m_reading; })) {
        lock.unlock();
        Deliver(false);
        return;
    }
    lock.unlock();
    if (!m_deadline.isActive()) {
        m_deadline.start(kWaitMs - kQuickMs);
    }
}

void DriveMapReader::Cancel() {
    m_waiting.clear();
    m_deadline.stop();
}

void DriveMapReader::Deliver(bool deadline) {
    bool finished = false;
    {
        std::lock_guard lock(m_mutex);
        finished = !m_reading;
        if (m_fresh) {
            m_lastKnown = std::move(*m_fresh);
            m_fresh.reset();
        } else if (!deadline) {
            return; // a read already delivered in Read itself
        }
    }
    // No thread is left between reads; the worker is past its last lock.
    if (finished && m_worker.joinable()) {
        m_worker.join();
    }
    m_deadline.stop();
    std::vector<Then> waiting;
    waiting.swap(m_waiting);
    for (const Then& then : waiting) {
        then(m_lastKnown);
    }
}
