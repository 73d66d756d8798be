// The transient serial parameter file "QLP_CONFIG.INI" in the data folder: written
// with its default content on construction, read back once into the serial parameters
// (completing the file with the values it lacked), deleted on destruction.
#ifndef TELMAR_SERIAL_SERIAL_PARAM_FILE_H
#define TELMAR_SERIAL_SERIAL_PARAM_FILE_H

#include <cstdint>

#include "platform/data_folder.h"
#include "platform/own_file.h"
#include "serial/serial_params.h"

class SerialParamFile {
 public:
  // Computes the path and writes the eight default lines in a file made afresh: whatever
  // lay at the path is removed first (a link itself, never what it points to), and so is
  // the temporary file of an interrupted update. When ALLUSERSPROFILE is unset or empty, or
  // the path would exceed 268 characters, the path stays empty and nothing is written.
  SerialParamFile();
  // Deletes the file (Remove).
  ~SerialParamFile();
  SerialParamFile(const SerialParamFile&) = delete;
  SerialParamFile& operator=(const SerialParamFile&) = delete;

  // Reads the keys one by one, range-checks each and writes it back (all but "Port"); a
  // write-back goes only to the file the constructor made, while it is still in place.
  // Also updates configMiddle, tReponse and tMax. 0, or the first failing status
  // (PARAM_FILE_ERROR, PARAM_BAD_SPEED, ...); on failure the keys after the failing
  // one are neither read nor written. With an empty path: PARAM_FILE_ERROR, nothing
  // changed.
  uint16_t ReadParams(SerialFraming& framing, ProtocolParams& protocol, uint8_t& port,
                      uint8_t& station, uint16_t& simulator);

  // Full path of the file; "" when it could not be composed.
  const char* Path() const { return path; }
  // Deletes the file when it is still the one the constructor made; the outcome is not
  // examined.
  void Remove();

 private:
  char path[platform::kMaxPath + 1];
  platform::OwnFile file;
};

#endif
