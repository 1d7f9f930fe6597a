#pragma once

#include <QByteArray>

// Qt 5.15's JSON parser never frees the earlier value of a key that an object
// repeats when either value is an object or an array, so every such request
// would keep some of periphd's memory for good. Requests are checked with
// this first and refused (as text that is not a JSON object) when it says
// so. A repeated key with plain values on both sides is harmless and keeps
// Qt's meaning (the last one counts).
//
// Reads JSON as a stream, so it answers for any prefix of a text too: the
// parser frees nothing it built before an error further on either.
bool repeatsKeyAroundNestedValue(const QByteArray& json);
