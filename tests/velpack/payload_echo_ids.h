// Identifiers shared by the test stub and its resource script.
#ifndef VEL_TESTS_VELPACK_PAYLOAD_ECHO_IDS_H
#define VEL_TESTS_VELPACK_PAYLOAD_ECHO_IDS_H

#define kEchoString 7

#endif
