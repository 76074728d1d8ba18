#pragma once

namespace zor::test {
int runProtocolTests(int argc, char *argv[]);
int runDeviceLinkTests(int argc, char *argv[]);
int runRealTransportTests(int argc, char *argv[]);
} // namespace zor::test
