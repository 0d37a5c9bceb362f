// Every platform service of the application as a fake, with the real clock: the worker threads the
// application starts then sleep for real between their (empty) cycles instead of spinning on a
// clock that only moves when they sleep.
#pragma once

#include "engine/application.h"
#include "fakes/fake_clipboard.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"
#include "fakes/fake_icmp.h"
#include "fakes/fake_image_decoder.h"
#include "fakes/fake_process_list.h"
#include "fakes/fake_raw_capture.h"
#include "fakes/fake_socket_tables.h"
#include "platform/clock.h"

namespace tolvane {

struct FakeApplicationServices {
  FakeFileSystem files;
  FakeSocketTables socketTables;
  FakeProcessList processList;
  FakeRawCapture rawCapture;
  FakeIcmp icmp;
  FakeHttpClient http;
  FakeImageDecoder imageDecoder;
  FakeClipboard clipboard;

  PlatformServices Services() {
    return PlatformServices{SystemClock(), files, socketTables, processList, rawCapture,
                            icmp,          http,  imageDecoder, clipboard};
  }
};

}  // namespace tolvane
