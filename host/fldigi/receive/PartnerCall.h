#pragma once

#include <QString>

/// Callsigns as operators write them in a keyboard contact.
namespace partnercall {

/// Whether word looks like an amateur callsign: letters and digits, at least one of each, with optional
/// /-separated parts ("EA4ABC", "DL1XYZ/P", "F/G4ABC/M").
bool isCallsign(const QString& word);

/// The callsign after the last "de" in text ("EA4ABC de DL1XYZ pse k" gives "DL1XYZ"), in capitals; empty when
/// there is none, or it is ignored (the operator's own).
QString fromText(const QString& text, const QString& ignored = {});

} // namespace partnercall
