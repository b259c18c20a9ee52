#pragma once

// The settings file Quillon.xml: the remembered settings carried from one run to the next, as a record.

#include "UGround.h"

#include <QString>

class TXml_Document;

// What Quillon.xml remembers; a new record holds the defaults of a first start.
struct TSettings
{
    // The open configuration's name (empty: none).
    QString Conf_Name;
    QString Last_IP_Address = Default_IP_Address;
    QString Language_Name = Default_Language;
    bool Enable_Internet = false;
    bool Enable_Update = false;
    bool Enable_Jump_Field_Tables = false;
    bool Enable_Double_Click_Auto_Size = false;
    // The serial port last used for an update (its name as listed).
    QString Last_Serial_Port;
    // One of Look_Choice_Names.
    QString Look_Choice = Look_Choice_Names.first();

    bool operator==(const TSettings &) const = default;
};

// Reads programDir/Quillon.xml into settings. A missing file gives the defaults of a first start.
// A file that is not well formed also gives those defaults; it is then kept as Quillon.xml.bak and the
// parser's message is returned (empty when the file was read or missing), for the caller to report once
// start-up has ended.
QString Read_Settings(const QString &programDir, TXml_Document &xml, TSettings &settings);

// The values of a loaded settings document, each with its own default.
TSettings Apply_Settings(const TXml_Document &xml);

// Writes settings to programDir/Quillon.xml in the fixed element order, replacing the file atomically.
// Throws EQuillon_Error when it cannot be written.
void Save_Setting(const QString &programDir, TXml_Document &xml, const TSettings &settings);

// Fills the document with the settings in the fixed element order, without touching any file.
void Build_Settings(TXml_Document &xml, const TSettings &settings);

// Several windows (processes) may share one workspace, each writing Quillon.xml: a window writes only the values
// it changed, so that none undoes another's. The merged record takes, value by value, mine where it differs from
// baseline (the record as this window read it) and onDisk's (the file as it is now) everywhere else.
TSettings Merge_Settings(const TSettings &baseline, const TSettings &mine, const TSettings &onDisk);

// Reads programDir/Quillon.xml again, merges mine's changes since baseline into it and writes the result like
// Save_Setting. Returns the record written. A file that cannot be read now counts as the defaults (and is kept
// as Quillon.xml.bak, as at start). Throws EQuillon_Error when it cannot be written.
TSettings Save_Merged_Settings(const QString &programDir, TXml_Document &xml, const TSettings &baseline,
                               const TSettings &mine);

QString Settings_File_Path(const QString &programDir);
