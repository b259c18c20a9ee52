#pragma once

// Key lists compared field by field: what quillon-cli diff prints, and what import reports when build would not
// give the given images back.

#include "UImage_Keys.h"

#include <QList>
#include <QString>

// The value values holds for key (null when it holds none), and whether it holds one.
QString Value_Of(const QList<TKey_Value> &values, const QString &key);
bool Holds(const QList<TKey_Value> &values, const QString &key);

// One side's value of a differing field: as the key's text would be stored (null when the side does not hold
// the field), bank.bin's where the two images of one configuration disagree (else null), and what the stored
// value means ("9600", "EVEN", "With Ethernet Port", "on"; null when not held).
struct TField_Value
{
    QString Stored;
    QString Bank_Stored;
    QString Meaning;
};

// A field that differs, with each side's value as a person reads it ("3 (9600 bit/s)", "(none)" for a side that
// does not hold the field) and as stored with its meaning.
struct TDifference
{
    QString Field;
    QString A;
    QString B;
    TField_Value A_Value = {};
    TField_Value B_Value = {};
};

// Field by field, in the order of a then of the fields only b holds. With common only, a field one side does
// not hold is passed over. none is how a side that does not hold a field is shown.
QList<TDifference> Differences(const QList<TKey_Value> &a, const QList<TKey_Value> &b, bool common,
                               const QString &none = QStringLiteral("(none)"));
