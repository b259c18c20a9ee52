#include "UComon.h"

#include "UXml_Document.h"

QString Program_Dir;
QString Master_Dir;
QString Projects_Dir;
QString Language_Dir;
QString Conf_Name;
QString Conf_Dir;
QString ParGen_File;
QString Last_IP_Address = Default_IP_Address;
QString Language_Name = Default_Language;
bool Enable_Internet = false;
bool Enable_Update = false;
bool Enable_Jump_Field_Tables = false;
bool Enable_Double_Click_Auto_Size = false;
QString Look_Choice = Look_Choice_Names.first();
int Last_Update_Option = 0;
bool Last_Read_Back = true;
QString Last_Serial_Port;

namespace {

// The remembered settings as this window last read or wrote them: a value still equal here is not this
// window's to write.
TSettings Settings_Baseline;

} // namespace

void Reset_Shared_State()
{
    Program_Dir.clear();
    Master_Dir.clear();
    Projects_Dir.clear();
    Language_Dir.clear();
    Conf_Name.clear();
    Conf_Dir.clear();
    ParGen_File.clear();
    Last_IP_Address = Default_IP_Address;
    Language_Name = Default_Language;
    Enable_Internet = false;
    Enable_Update = false;
    Enable_Jump_Field_Tables = false;
    Enable_Double_Click_Auto_Size = false;
    Look_Choice = Look_Choice_Names.first();
    Last_Update_Option = 0;
    Last_Read_Back = true;
    Last_Serial_Port.clear();
    Settings_Baseline = TSettings();
}

void Set_Workspace_Paths(const QString &programDir)
{
    const TWorkspace workspace = Workspace_At(programDir);
    Program_Dir = workspace.Program_Dir;
    Master_Dir = workspace.Master_Dir;
    Projects_Dir = workspace.Projects_Dir;
    Language_Dir = workspace.Language_Dir;
}

void Set_Files()
{
    ParGen_File = Join_Path(Conf_Dir, ParGen_File_Name);
}

TWorkspace Current_Workspace()
{
    return {Program_Dir, Master_Dir, Projects_Dir, Language_Dir};
}

TConfiguration Open_Configuration()
{
    if (Conf_Dir.isEmpty())
        return {};
    return {Conf_Name, Conf_Dir, Join_Path(Conf_Dir, ParGen_File_Name)};
}

TSettings Remembered_Settings()
{
    return {Conf_Name,
            Last_IP_Address,
            Language_Name,
            Enable_Internet,
            Enable_Update,
            Enable_Jump_Field_Tables,
            Enable_Double_Click_Auto_Size,
            Last_Serial_Port,
            Look_Choice};
}

void Take_Settings(const TSettings &settings)
{
    Conf_Name = settings.Conf_Name;
    Last_IP_Address = settings.Last_IP_Address;
    Language_Name = settings.Language_Name;
    Enable_Internet = settings.Enable_Internet;
    Enable_Update = settings.Enable_Update;
    Enable_Jump_Field_Tables = settings.Enable_Jump_Field_Tables;
    Enable_Double_Click_Auto_Size = settings.Enable_Double_Click_Auto_Size;
    Last_Serial_Port = settings.Last_Serial_Port;
    Look_Choice = settings.Look_Choice;
}

QString Read_Settings(TXml_Document &xml)
{
    TSettings settings;
    const QString problem = Read_Settings(Program_Dir, xml, settings);
    Take_Settings(settings);
    Settings_Baseline = settings;
    Conf_Dir.clear();
    return problem;
}

void Save_Setting(TXml_Document &xml)
{
    const TSettings mine = Remembered_Settings();
    Save_Merged_Settings(Program_Dir, xml, Settings_Baseline, mine);
    // Not the merged record: this window keeps the values it holds, and one it never changed must go on counting
    // as unchanged, or its next save would put it back over another window's.
    Settings_Baseline = mine;
}

void Load_Language()
{
    Language_Name = Load_Language(Language_Dir, Language_Name);
}
