#pragma once

#include "KeyboardJog.h"
#include "LevelledView.h"
#include "MacrosDock.h"
#include "ProgramSurvey.h"
#include "RecentFiles.h"
#include "TerminalPane.h"

#include "dialogs/GamepadButton.h"
#include "dialogs/GrblSettingsDialog.h"
#include "dialogs/HeightMapDialog.h"
#include "dialogs/HelicalHoleCutter.h"
#include "dialogs/MachineAccess.h"
#include "dialogs/PositionsDialog.h"
#include "dialogs/ProbingDialog.h"
#include "dialogs/StartFromLineDialog.h"
#include "dialogs/WindowsGamepad.h"
#include "editor/ProgramFile.h"
#include "link/SettingsDialog.h"
#include "machine/MachineSession.h"
#include "machine/SafeStop.h"
#include "preview/DocumentPathReader.h"
#include "preview/PathInterpreter.h"
#include "preview/PathPoint.h"
#include "program/LevelledProgram.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QVector>

#include <memory>

class QLCDNumber;

namespace Ui {
class MainWindow;
}

// The station's one window: a view over the machine session (which owns the link, everything
// sent and the job), with the editor, the preview and the tools; it supervises the connection
// once a second.
class MainWindow : public QMainWindow, public MachineAccess
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    bool SendCommand(const QString &command) override;
    double workPosition(int axis) const override;
    int coordinateSystem() const override;
    QString StartProbe(const ProbeRequest &request) override;
    QString programText() const override;
    QString StartProgramAt(const StartFromLine &start) override;
    std::optional<QRectF> programExtent() const override;
    QString StartGridProbe(const GridProbeRequest &request) override;
    void StopGridProbe() override;
    void setHeightMap(const HeightMap &map) override;
    HeightMap heightMap() const override { return keptMap; }
    void showProbeGrid(const QVector<QPointF> &points) override;

    // Reads the program into the editor off the GUI thread, as Open File does.
    void OpenFile(const QString &path);
    // An empty port or a rate of 0 keeps the stored value; what is stored stays as it is.
    void UsePortForThisRun(const QString &port, qint32 baudRate);
    // Shows the way in to the program's line (from 1) and starts there once the operator says
    // so; says why it cannot start there instead.
    void StartFromProgramLine(int line);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void ParseReceivedLine(QString line);
    void Tick1000ms();
    void JogTimerTick();
    void EditorTextChanged();
    void ReadProgramIn(const MachineState &modes);
    void GamePadButtonPressed(GamepadButton button);
    void JogButtonPressed(GamepadButton button, bool fromGamepad);
    void on_lineEditCommand_returnPressed();
    void on_pushButtonHelpCmd_clicked();
    void on_pushButtonSettingsCmd_clicked();
    void on_pushButtonParameterCmd_clicked();
    void on_pushButtonStateCmd_clicked();
    void on_pushButtonInfoCmd_clicked();
    void on_pushButtonStartupBlocksCmd_clicked();
    void on_pushButtonCheckCmd_clicked();
    void on_pushButtonKillLockCmd_clicked();
    void on_pushButtonHomingCycleCmd_clicked();
    void on_pushButtonCycleStartCmd_clicked();
    void on_pushButtonFeedHoldCmd_clicked();
    void on_pushButtonStatusCmd_clicked();
    void on_pushButtonResetGRBLCmd_clicked();
    void on_pushButtonResetGRBLCmd_2_clicked();
    void on_pushButtonZeroAll_clicked();
    void on_pushButtonZeroX_clicked();
    void on_pushButtonZeroY_clicked();
    void on_pushButtonZeroZ_clicked();
    void on_comboBoxCoordinateSystem_activated(int index);
    void on_pushButtonMinusX_clicked();
    void on_pushButtonPlusX_clicked();
    void on_pushButtonPlusY_clicked();
    void on_pushButtonMinusY_clicked();
    void on_pushButtonPlusZ_clicked();
    void on_pushButtonMinusZ_clicked();
    void on_verticalSliderFeedRate_valueChanged(int value);
    void on_spinBoxFeedRate_editingFinished();
    void on_pushButtonSendGCode_clicked();
    void on_pushButtonResume_clicked();
    void on_actionStart_From_Line_triggered();
    void on_actionHeight_Map_triggered();
    void on_actionSave_Levelled_Program_triggered();
    void on_pushButtonOpenFile_clicked();
    void on_pushButtonSpindle_clicked();
    void on_pushButtonOpenProbeDialog_clicked();
    void on_pushButtonConnection_clicked();
    void on_actionMachine_Coordinates_triggered();
    void on_actionWork_Coordinates_triggered();
    void on_actionG_Code_Editor_triggered();
    void on_action3D_Preview_triggered();
    void on_pushButtonLookFromAbove_clicked();
    void on_checkBoxOrigin_clicked(bool checked);
    void on_checkBoxBounding_clicked(bool checked);
    void on_checkBoxTool_clicked(bool checked);
    void on_actionGRBL_Config_triggered();
    void on_actionHolecutter_Tool_triggered();
    void on_actionPositions_triggered();
    void OnComSettingsChanged();
    void ShowPermissionProblem(const QString &device);
    void on_actionOpen_File_triggered();
    void on_menuFile_aboutToShow();
    void on_actionInfo_triggered();
    void on_pushButtonCoolant_clicked();
    void on_actionCom_Port_Settings_triggered();
    void on_pushButtonPositions_clicked();
    void on_actionGamepad_Config_triggered();
    void on_actionSpecial_Commands_triggered();
    void on_actionMacros_triggered();

private:
    void AppendTerminal(const QString &text, const QColor &color);
    void ParseStatusReport();
    void ShowPosition(const std::optional<StatusReport::Position> &position,
                      const std::array<QLCDNumber *, 3> &displays);
    void ShowMachineInfo(const StatusReport &report);
    static QString PinNames(const QString &letters);
    void ShowDialect();
    void ConnectJogButtons();
    void ConnectJogKeys();
    void KeepCentreUsable();
    void ConnectOverrideButtons();
    void UpdateContinuousJog();
    QString HeldJogDirection(const GamepadMapping::Inputs &held) const;
    void RepaintToolMarker();
    void JobChanged();
    void ShowJob();
    void ShowJobProgress();
    void SurveyProgram();
    void ShowSurvey();
    void UpdateGating();
    void RestoreWindowState();
    void LoadComSettings();
    void SaveWindowState();
    void ParseGCodeToPath();
    void ShowOpenedFile();
    QString GetJogStep() const;
    void Jog(const QString &direction, const QString &step, const QString &feed);
    void SetSpindle(bool on);
    void AskStartChoice(const QStringList &differences);
    void ShowWorkOffset();
    void ZeroAxes(int axes);
    void ShowCoordinateSystems();
    void ShowSpindleAndCoolant();
    QString RunningOnTheMachine() const;
    void StopAndClose();
    void RefuseOpening(const QString &path);
    QString StartRefusal(const StartFromLine &start) const;
    void ShowWayIn(const StartFromLine &start);
    void LevelProgram();
    void ShowLevelled();
    bool LevelledReady() const;
    void CancelStartWhenLevelled(const QString &why);
    void StartJob();
    void RunMacro(const Macro &macro);
    int OperatorLine(int line) const;
    QString InOperatorLines(const QString &text) const;
    int FirstPointOfLine(int block) const;

    QLCDNumber *workX = nullptr;
    QLCDNumber *workY = nullptr;
    QLCDNumber *workZ = nullptr;
    bool spindleOn = false;
    bool coolantOn = false;
    bool jogRefusalShown = false; // once per held direction, not every tick
    Job::State shownJobState = Job::State::Idle;
    Job::Hold shownJobHold = Job::Hold::None;
    QTimer jobViewTimer;
    MachineLimits machineLimits; // as the controller's settings say, factory values until then
    QTimer surveyTimer;
    QFutureWatcher<ProgramSurvey> surveyWatcher;
    ProgramSurvey survey;
    QVector<PathPoint> toolPath;
    GrblSettingsDialog grblSettingsDialog;
    ProbingDialog probingDialog;
    HelicalHoleCutter holeCutter;
    StartFromLineDialog startFromLineDialog;
    PositionsDialog positionsDialog;
    HeightMapDialog heightMapDialog;
    MacrosDock macrosDock;
    HeightMap keptMap; // stays when another program is loaded
    // While a map is kept, the job, the preview and the estimate take the program it levels.
    QTimer levelTimer;
    QFutureWatcher<std::shared_ptr<LevelledView>> levelWatcher;
    std::shared_ptr<LevelledView> levelled; // of the editor's text as it is; null while levelling
    bool levelAgain = false;                // the text or map changed while levelling
    bool startWhenLevelled = false;         // Send was pressed while levelling
    QStringList levelNotesShown;            // each warning once, not at every edit
    QVector<int> jobSourceLine; // the operator's line of each line the job sends; empty: the same
    QVector<int> surveyedSourceLine; // likewise for the program the estimate read
    Ui::MainWindow *ui;
    SettingsDialog settingsDialog;
    MachineSession session;
    SafeStop safeStop{session};
    SafeStop gridStop{session}; // the Stop of a grid probe; the window stays
    QPointer<QMessageBox> closeQuestion;
    bool closing = false;  // stopping the machine before closing: nothing else is sent
    bool checkRun = false; // the job runs in the controller's check mode: nothing to resume
    int resumeLine = 0;    // offered after a job cut short; 0: none
    QTimer tickTimer;
    QTimer jogTimer;
    WindowsGamepad gamepad;
    KeyboardJog keyboardJog;
    TerminalPane terminalPane;
    DocumentPathReader pathReader;
    QFutureWatcher<ProgramFile::Reading> openedFile;
    QString fileBeingRead;
    RecentFiles recentFiles;
    QSet<QString> permissionProblemsShown; // devices, so each is told once, not every second
};
