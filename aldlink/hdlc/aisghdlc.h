// AISG layer 2: HDLC frames in normal response mode, built, sent, received,
// checked and traced. The controller is the primary station; every exchange
// is one command frame with the poll bit set and at most one answer.
#pragma once

#include "aldlink/adapter/cp210xdriver.h"
#include "aldlink/hdlc/hdlcframe.h"

class AISGHDLC : public CP210xDriver {
 public:
  AISGHDLC();

  // Bus (transceiver).
  int EnableRS485();
  int DisableRS485();
  int UartSend();
  int UartSend(char* frame, int length);
  int UartRead(unsigned int wait);
  int UartRead();
  int UartRead(char* out);

  // Frame builders: 0 good answer, 82 unusable answer, 84 not sent, 89 no answer.
  int SetSNRM(int address);
  int SetDISC(int address);
  int SetRR(int address);
  int SetInfo(int address, char* info, int length);
  int SetXIDParams(int address, char* params, int length);
  int SetXIDUserParams(int address, char* params, int length);
  int SetXIDReset(int address);
  int SetXIDScan(int address, char* uid, char* mask, int length);
  int SetXIDAddress(int newAddress, char* uid, int length);

  // Answer parsers over the last frame read.
  int GetSNRM(int address);
  int GetDISC(int address);
  int GetRR(int address);
  int GetXIDParams(int& address, int& version, char* params, int& length);
  int GetXIDUserParams(int& address, int& version, char* params, int& length);
  int GetXIDScan(int& address, int& version, char* params, int& length);
  int GetXIDAddress(int& address, int& version, char* params, int& length);
  int GetInfo(int address, int version, char* out);
  int GetHdlcCtrlCode();
  int GetFrameSize();
  bool IsSendINFO();
  bool IsSendSupervisoryFormat();
  bool IsReadINFO();
  bool IsReadSupervisoryFormat();
  bool IsReadRR();

 protected:
  HdlcFrame sendFrame;
  HdlcFrame readFrame;
  int sendSeq;
  int recvSeq;

 private:
  // Unit tests reach the checksum and transparency helpers through this.
  friend class AISGHDLCTestAccess;

  int Rs485Lookup();
  void PrintSend();
  void PrintSend(int highlight);
  void PrintRead();
  unsigned int crc_ulmoraisg(unsigned char* data, unsigned int length, int mode);
  void EncodeCOT();
  void DecodeCOT();

  // Builds the whole frame (flags, address, control, information, FCS) in
  // sendFrame and empties readFrame. 0, or 84 with a trace message when the
  // frame would not fit the line buffer once escaped (nothing is sent then).
  int BuildFrame(int address, unsigned char control, const unsigned char* info, int length);
  // The same for an XID frame: format 0x81, `group`, group length, parameters.
  int BuildXid(int address, unsigned char group, const unsigned char* params, int length);
  // Sends sendFrame, reads the answer and traces both; 84 when not sent.
  int Exchange(unsigned int wait);
  // The control byte of sendFrame, which holds the frame as sent: behind an
  // escaped address, and escaped itself when it is 0x7E or 0x7D.
  unsigned char SentControl() const;
  // Answers the version of an XID answer from its control byte (1 or 2), or 0
  // with the trace message.
  int XidVersion();
  // True when readFrame is long enough to hold an XID header with `format`
  // and `group` at offsets 3 and 4.
  bool ReadXidGroupIs(unsigned char group) const;
  // Copies the XID parameters of readFrame to `params`, clamped to what arrived.
  void CopyXidParams(char* params, int& length) const;
};
