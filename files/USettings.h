#pragma once

// The settings file Quillon.xml: what it carries of the shared state from one run to the next.

#include <QString>

class TXml_Document;

// Reads Program_Dir/Quillon.xml into the shared state. A missing file gives the defaults of a first start.
// A file that is not well formed also gives those defaults; it is then kept as Quillon.xml.bak and the
// parser's message is returned (empty when the file was read or missing), for the caller to report once
// start-up has ended.
QString Read_Settings(TXml_Document &xml);

// Applies the values of a loaded settings document to the shared state, each with its own default.
void Apply_Settings(const TXml_Document &xml);

// Takes the defaults of a missing settings file.
void Default_Settings();

// Writes the shared state to Program_Dir/Quillon.xml in the fixed element order, replacing the file
// atomically. Throws EQuillon_Error when it cannot be written.
void Save_Setting(TXml_Document &xml);

// Fills the document with the settings in the fixed element order, without touching any file.
void Build_Settings(TXml_Document &xml);

QString Settings_File_Path();
