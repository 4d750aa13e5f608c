#pragma once

#include <QByteArray>

/// What travels between EchoLink stations on UDP, as far as the chat tap needs it: on the audio port (5198) voice
/// (RTP, first byte 0xC0), station information ("oNDATA" CR ...) and chat ("oNDATA" "CALL>text" CR LF NUL); on the
/// control port (5199) RTCP, whose SDES says who a station is and whose BYE ends the contact.
namespace echolinkpacket {

enum class Kind { Voice, Info, Chat, Other };

/// What an audio-port packet is.
Kind kind(const QByteArray& packet);
/// The text of a chat or information packet: the bytes after "oNDATA" (and the CR of information) up to the NUL,
/// trailing CR and LF removed.
QByteArray text(const QByteArray& packet);
/// A chat packet carrying line (bytes as they go out), as an EchoLink station sends it.
QByteArray chatPacket(const QByteArray& line);

/// Whether a control-port packet carries an RTCP SDES (a station saying who it is: calling, answering, keeping alive).
bool isSdes(const QByteArray& packet);
/// Whether a control-port packet carries an RTCP BYE (the contact ends).
bool isBye(const QByteArray& packet);
/// The callsign in an SDES packet's NAME item ("CALL" padded, then the operator's name); empty when there is none.
QByteArray sdesCallsign(const QByteArray& packet);

} // namespace echolinkpacket
