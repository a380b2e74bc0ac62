// The main dialog: its controls come from the template table, the engine
// reaches them through the window adapter, and the five command buttons are
// handled here.
#pragma once

#include "ui/drive_map_source.h"
#include "ui/engine_session.h"
#include "ui/file_picker.h"

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QKeySequence>
#include <QString>

#include <optional>
#include <vector>

class BusyCursor;
class QButtonGroup;
class QLineEdit;
class QListWidget;
class QPushButton;
class QProgressBar;
class QUrl;
class ResultListMenu;

class CThroughputDlg : public QDialog {
    Q_OBJECT

public:
    explicit CThroughputDlg(QWidget* parent = nullptr);

    // Sets the icon and the defaults and puts the focus on Test. The
    // constructor calls it; calling it again resets the defaults.
    bool OnInitDialog();

    // The widget made for a control id, or null.
    QWidget* Control(int id) const;
    // The same, typed; the id must name a control of that kind.
    QPushButton* Button(int id) const;
    QLineEdit* Edit(int id) const;
    QListWidget* ListBox(int id) const;
    // Every control's widget in template order, unaddressed ones included.
    const std::vector<QWidget*>& TemplateWidgets() const { return m_templateWidgets; }

    void OnTest();
    void OnClearText();
    void OnVisitWebsite();
    void OnEmail();
    void OnHelpButton();

    // Closing, by Escape or the close box or in code, hides the dialog at
    // once and asks any test to stop; the dialog's destructor, or showing it
    // again, waits for the test to end.
    void done(int result) override;

    // Where the drive letters come from and the open-file dialog; tests
    // replace their sources.
    DriveMapReader& DriveMap() { return m_driveMap; }
    FilePicker& Picker() { return m_picker; }

    static QUrl WebsiteUrl();
    static QUrl EmailUrl();

    // The keys that check each option button, by control id.
    static QKeySequence OptionShortcut(int id);
    ResultListMenu* ResultMenu() const { return m_resultMenu; }

    QProgressBar* m_progressBar = nullptr;
    QListWidget* m_resultList = nullptr;
    QString m_strFilePath;
    QIcon m_hIcon;

protected:
    void showEvent(QShowEvent* event) override;

private:
    template <typename T> T* ControlAs(int id) const;
    void CreateControls();
    void SetUpAccessibility();
    void SetUpOptionShortcuts();
    void FitCaptions();
    void OnOptionClicked();
    bool IsChecked(int id) const;
    void ShowDriveMap(const sarnoval::DriveMap& map);
    void MakeEngine();
    // Moves the window, frame and all, into its screen's free area.
    void KeepOnScreen();

    QHash<int, QWidget*> m_controls;
    std::vector<QWidget*> m_templateWidgets;
    ResultListMenu* m_resultMenu = nullptr;
    BusyCursor* m_busyCursor = nullptr;
    DriveMapReader m_driveMap;
    FilePicker m_picker;
    // Last, so it goes first: its destructor waits for the tests, which read
    // the widgets and the members above, before any of them goes.
    std::optional<EngineSession> m_engine;
};
