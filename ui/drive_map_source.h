// Where the drive map comes from, read so that the dialog never waits long:
// a mount that hangs must not freeze the window.
#pragma once

#include "engine/drive_paths.h"
#include "engine/volume.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

using sarnoval::ParseMountInfo;
using sarnoval::ReadMountedDriveMap;

// One line per letter, C first: "C: /home/someone".
QString DescribeDriveMap(const sarnoval::DriveMap& map);

// Reads the map on a worker thread. A caller gets the fresh map if it comes
// within kWaitMs, else the last one known; the answer always arrives on the
// GUI thread, at once when the source is quick, otherwise from the event loop.
class DriveMapReader : public QObject {
    Q_OBJECT

public:
    using Source = std::function<sarnoval::DriveMap()>;
    using Then = std::function<void(const sarnoval::DriveMap&)>;

    static constexpr int kWaitMs = 300;
    // Short enough to pass unnoticed, long enough for a busy machine to run a
    // quick source: its answer then comes in the call itself.
    static constexpr int kQuickMs = 50;

    explicit DriveMapReader(QObject* parent = nullptr);
    // Waits for a read in progress: the default source cannot block, a
    // source set in its place must return before the reader goes.
    ~DriveMapReader() override;

    // An empty source puts the mounted volumes back.
    void SetSource(Source source);
    void Read(Then then);
    // Callers still waiting get nothing.
    void Cancel();
    const sarnoval::DriveMap& LastKnown() const { return m_lastKnown; }

signals:
    // Emitted by the worker once the map is in.
    void MapRead();

private:
    // Hands the fresh map, or once the deadline passed the last one known,
    // to every caller waiting.
    void Deliver(bool deadline);

    Source m_source;
    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_reading = false;                    // under m_mutex
    std::optional<sarnoval::DriveMap> m_fresh; // under m_mutex

    // GUI thread only.
    sarnoval::DriveMap m_lastKnown;
    std::vector<Then> m_waiting;
    QTimer m_deadline;
};
