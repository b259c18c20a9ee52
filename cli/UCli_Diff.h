#pragma once

// Key lists compared field by field: what quillon-cli diff prints, and what import reports when build would not
// give the given images back.

#include "UImage_Keys.h"

#include <QList>
#include <QString>

// The value values holds for key (null when it holds none), and whether it holds one.
QString Value_Of(const QList<TKey_Value> &values, const QString &key);
bool Holds(const QList<TKey_Value> &values, const QString &key);

// A field that differs, with each side's value as a person reads it: a baud-rate index with its rate,
// "(none)" for a side that does not hold the field.
struct TDifference
{
    QString Field;
    QString A;
    QString B;
};

// Field by field, in the order of a then of the fields only b holds. With common only, a field one side does
// not hold is passed over.
QList<TDifference> Differences(const QList<TKey_Value> &a, const QList<TKey_Value> &b, bool common);
