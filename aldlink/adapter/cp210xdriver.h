// The USB-to-RS-485 adapter: its serial port and the GPIO pins of its
// CP210x bridge chip (12 V supply of the antenna line on GPIO 3, RS-485 A/B
// switch on GPIO 1). Base of the link layer: every link object is also the
// adapter object of its bus.
#pragma once

#include <memory>

#include "aldlink/adapter/bridge_chip.h"
#include "aldlink/adapter/serial_port.h"

class CP210xDriver {
 public:
  CP210xDriver();
  virtual ~CP210xDriver();
  CP210xDriver(const CP210xDriver&) = delete;
  CP210xDriver& operator=(const CP210xDriver&) = delete;

  // Port.
  int OpenComPort();
  int CloseComPort();
  int FlushComPort();
  int SendData(const char* data, int length);
  int RecvData(char* buffer, int capacity);
  // Reads and drops what is already waiting in the input queue, without
  // waiting for anything still on its way; the number of bytes dropped
  // (0 when the port is closed).
  int DiscardInput();
  int GetComPort();

  // GPIO.
  int SetGPIOOutputMode(int n, int value);
  int SetGPIOResetLatch(int n, int value);
  int SetGPIOLatch(int n, int value);
  int SetGPIOControlMode(int n, int value);
  int GetGPIOOutputMode(int n, int& value);
  int GetGPIOResetLatch(int n, int& value);
  int GetGPIOLatch(int n, int& value);
  int GetGPIOControlMode(int n, int& value);

  // Board functions.
  int Set12VPower(int value, int persist);
  int SetRS485ABSwich(int value, int persist);
  int Get12VPower(int& value);
  int GetRS485ABSwich(int& value);
  int InitToDefaultConfig();
  int IsInitialized();
  int Reset();

 private:
  // 0 with `handle` set to the adapter's chip; -1 when there is no adapter
  // chip; -2 when a chip could not be looked at (not opened for lack of
  // access, or no chip library), after a message that says why.
  int OpenDevice(ald::ChipHandle& handle);
  int GetPortNum(unsigned short vid, unsigned short pid, char* serial);
  int InitComPort();
  // Opens the chip, reads its port configuration and hands it to `use`;
  // -1 when any step fails.
  template <class Use>
  int ReadPortConfig(Use use);
  // The same, then writes the configuration `edit` changed and lets it settle.
  template <class Edit>
  int EditPortConfig(Edit edit);
  static void SetBit(unsigned char& byte, int bit);
  static void ClearBit(unsigned char& byte, int bit);
  static void SetBit(unsigned short& word, int bit);
  static void ClearBit(unsigned short& word, int bit);

  int portNumber;
  // The open port; null means closed.
  std::unique_ptr<ald::SerialPort> port;
};
