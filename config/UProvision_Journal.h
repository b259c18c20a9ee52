#pragma once

// Many configurations created as one: all of them or none, whenever the process ends.
//
// Every configuration is first staged, written and synced whole, in one hidden directory of PROJECTS
// (".provision-XXXXXX"). Then the journal PROJECTS/.provision.journal, written and synced, commits them: it
// names the staging directory and each staged configuration with its final name. Then each is renamed into
// place, and the journal and the staging directory go. A run killed before the commit leaves a staging
// directory without journal, which recovery removes; a run killed after it leaves the journal, and recovery
// moves what is still staged into place. Hidden names keep the open dialog and the lists blind to all of it.

#include "UParGen_File.h"

#include <QList>
#include <QString>

struct TProvision_Entry
{
    // The directory name under PROJECTS; already checked by the name rules and free.
    QString Name;
    // How messages name the entry ("row 5").
    QString Label;
    TParGen_Fields Fields;
};

// Creates each entry in projectsDir as a complete configuration (ParGen.xml as the settings dialog saves it,
// bin/bank.bin and bin/bankK.bin built from it read back), all or none. Throws EQuillon_Error naming the entry
// and the reason when it fails before the commit: nothing is then left behind. Returns the problem of a failure
// after the commit (a rename refused), empty on success: the journal then stays for the next recovery.
QString Create_Configurations(const QString &projectsDir, const QList<TProvision_Entry> &entries);

// Finishes a committed creation a killed run left in projectsDir, removes an uncommitted one, and tells what it
// did, one line each (empty when nothing was left). Leaves alone the work of a run that is still going.
QString Recover_Provisions(const QString &projectsDir);
