// Helpers shared by the dialog tests.
#pragma once

#include "engine/test_state.h"
#include "ui/drive_map_source.h"
#include "ui/file_picker.h"
#include "ui/throughput_dlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace ui_test {

// Sanitizer builds are slow; a hang still fails.
inline constexpr int kTimeoutMs = 120000;

// Whether CloseOnQuitSignals has signals to catch.
#ifdef Q_OS_UNIX
inline constexpr bool kHasQuitSignals = true;
#else
inline constexpr bool kHasQuitSignals = false;
#endif

inline QPushButton* Button(const CThroughputDlg& dlg, int id) {
    return qobject_cast<QPushButton*>(dlg.Control(id));
}

inline QLineEdit* Edit(const CThroughputDlg& dlg, int id) {
    return qobject_cast<QLineEdit*>(dlg.Control(id));
}

inline QStringList Lines(const CThroughputDlg& dlg) {
    QStringList lines;
    for (int i = 0; i < dlg.m_resultList->count(); ++i) {
        lines << dlg.m_resultList->item(i)->text();
    }
    return lines;
}

// The one visible message box, or null.
inline QMessageBox* VisibleMessageBox() {
    QMessageBox* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible()) {
            if (found) {
                return nullptr; // more than one is a fault of its own
            }
            found = box;
        }
    }
    return found;
}

inline int VisibleMessageBoxCount() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(widget) && widget->isVisible()) {
            ++count;
        }
    }
    return count;
}

// The real open-file dialog is up. Windows' own dialog is no Qt window: it
// shows as the QFileDialog being visible.
inline bool PickerShown(QFileDialog* picker) {
#ifdef Q_OS_WIN
    return QTest::qWaitFor([picker] { return picker->isVisible(); });
#else
    return QTest::qWaitForWindowExposed(picker);
#endif
}

// A file name as the system spells it.
inline std::filesystem::path PathOf(const QString& name) {
#ifdef Q_OS_WIN
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

// The program file's name without extension, which message boxes must carry.
inline QString ProgramName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

// Drive letters mapped to temporary folders, and a picker answer that must be
// replaced before a file-mode Test, for each dialog attached.
class Sandbox {
public:
    Sandbox() {
        QDir(m_root.path()).mkpath(QStringLiteral("C"));
        QDir(m_root.path()).mkpath(QStringLiteral("D"));
    }

    // Also shows the sandbox's map in the drive field's tooltip.
    void Attach(CThroughputDlg& dlg) {
        dlg.DriveMap().SetSource([this] {
            sarnoval::DriveMap map;
            map['C'] = PathOf(Folder('C'));
            map['D'] = PathOf(Folder('D'));
            return map;
        });
        dlg.Picker().SetAnswer([this](QWidget*) {
            ++unexpectedPicks;
            return QString();
        });
        dlg.OnInitDialog();
    }

    bool IsValid() const { return m_root.isValid(); }
    QString Folder(char letter) const {
        return m_root.filePath(QString(QChar::fromLatin1(letter)));
    }
    // Everything left in a drive's folder.
    QStringList Leftovers(char letter) const {
        return QDir(Folder(letter))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString Root() const { return m_root.path(); }

    int unexpectedPicks = 0;

private:
    QTemporaryDir m_root;
};

// Shows an attached dialog whose picker answers no file and counts how often
// it was asked; false if the window never became active.
inline bool ShowCountingPicks(CThroughputDlg& dlg, int& picks) {
    dlg.Picker().SetAnswer([&picks](QWidget*) {
        ++picks;
        return QString();
    });
    dlg.show();
    return QTest::qWaitForWindowActive(&dlg);
}

// Every test thread stopped and the shared state back to rest.
inline bool EngineAtRest() {
    return !sarnoval::g_testRunning.load() && !sarnoval::g_counterLoopStarted.load() &&
           sarnoval::g_targetWindow.load() == nullptr && sarnoval::g_resultList.load() == nullptr;
}

} // namespace ui_test
