#pragma once

// The window program's shared state: the workspace, the open configuration and the remembered settings that
// every window reads and writes. Only the windows hold it; the core and quillon-cli take these as values
// (Current_Workspace, Open_Configuration, Remembered_Settings).

#include "UGround.h"
#include "ULanguage.h"
#include "USerial_Ports.h"
#include "USettings.h"
#include "UWorkspace.h"

#include <QString>

class TXml_Document;

// Workspace (set once at start-up).
extern QString Program_Dir;
extern QString Master_Dir;
extern QString Projects_Dir;
extern QString Language_Dir;
// Open configuration: one is open exactly when Conf_Dir is not empty.
extern QString Conf_Name;
extern QString Conf_Dir;
extern QString ParGen_File;
// Remembered in the settings file.
extern QString Last_IP_Address;
extern QString Language_Name;
extern bool Enable_Internet;
extern bool Enable_Update;
extern bool Enable_Jump_Field_Tables;
extern bool Enable_Double_Click_Auto_Size;
// One of Look_Choice_Names.
extern QString Look_Choice;
// Per run only.
extern int Last_Update_Option;
extern bool Last_Read_Back;
// The serial port last used for an update (its name as listed), chosen again when it is listed.
extern QString Last_Serial_Port;

// Puts every shared value back to its value before start-up (used between tests).
void Reset_Shared_State();

// Settles Program_Dir and the three workspace directories from the executable's directory.
void Set_Workspace_Paths(const QString &programDir);
// ParGen_File := Conf_Dir + separator + "ParGen.xml".
void Set_Files();

// The shared state as the values the core takes.
TWorkspace Current_Workspace();
// The open configuration (an empty Dir when none is open).
TConfiguration Open_Configuration();
TSettings Remembered_Settings();
// The remembered values of settings become the shared state; Conf_Dir is left to the caller.
void Take_Settings(const TSettings &settings);

// The settings file of the workspace in force, read into and written from the shared state. The save writes
// only the values this window changed since its read (Save_Merged_Settings): another window's (another
// process's) writes meanwhile stay.
QString Read_Settings(TXml_Document &xml);
void Save_Setting(TXml_Document &xml);
// The language file of Language_Name in Language_Dir; Language_Name becomes the language in force.
void Load_Language();
