// The main dialog: its controls come from the template table, the engine
// reaches them through the window adapter, and the five command buttons are
// handled here.
#pragma once

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QKeySequence>
#include <QString>

#include <memory>
#include <vector>

class BusyCursor;
class QButtonGroup;
class QListWidget;
class QProgressBar;
class QUrl;
class QtWindowAdapter;
class ResultListMenu;

class CThroughputDlg : public QDialog {
    Q_OBJECT

public:
    explicit CThroughputDlg(QWidget* parent = nullptr);
    // Stops any running test before the widgets go.
    ~CThroughputDlg() override;

    // Sets the icon and the defaults and puts the focus on Test. The
    // constructor calls it; calling it again resets the defaults.
    bool OnInitDialog();

    // The widget made for a control id, or null.
    QWidget* Control(int id) const;
    // Every control's widget in template order, unaddressed ones included.
    const std::vector<QWidget*>& TemplateWidgets() const { return m_templateWidgets; }

    void OnTest();
    void OnClearText();
    void OnVisitWebsite();
    void OnEmail();
    void OnHelpButton();

    // Closing, by Escape or the close box or in code, ends any test first.
    void done(int result) override;

    static QUrl WebsiteUrl();
    static QUrl EmailUrl();

    // The keys that check each option button, by control id.
    static QKeySequence OptionShortcut(int id);
    ResultListMenu* ResultMenu() const { return m_resultMenu; }

    QProgressBar* m_progressBar = nullptr;
    QListWidget* m_resultList = nullptr;
    QString m_strFilePath;
    QIcon m_hIcon;

private:
    void CreateControls();
    void SetUpAccessibility();
    void SetUpOptionShortcuts();
    void FitCaptions();
    void OnOptionClicked();
    bool IsChecked(int id) const;
    void RefreshDriveMap();
    void StopWorkers();

    QHash<int, QWidget*> m_controls;
    std::vector<QWidget*> m_templateWidgets;
    void MakeAdapter();

    std::unique_ptr<QtWindowAdapter> m_adapter;
    ResultListMenu* m_resultMenu = nullptr;
    BusyCursor* m_busyCursor = nullptr;
    int m_closeCount = 0;
};
