// SPDX-License-Identifier: GPL-3.0-or-later
// Requests as the engines must see them: 36-byte headers, every field at its offset.
#include <gtest/gtest.h>

#include "AgwTestSupport.h"

using namespace std::string_literals;

namespace {

std::string bytes(const std::string& s, size_t from, size_t count)
{
    return s.substr(from, count);
}

class Send : public ::testing::Test {
protected:
    RecordingSocket socket;
    TAGWPE client{"N0CALL"};
};

} // namespace

TEST_F(Send, Register_WritesFourRequestsOfThirtySixBytesInOrder)
{
    ASSERT_TRUE(client.AttachSocket(&socket, 1));
    ASSERT_TRUE(client.Register());
    ASSERT_EQ(socket.Writes.size(), 4u);
    const std::string kinds = "XGgm";
    for (size_t i = 0; i < 4; ++i) {
        const std::string& w = socket.Writes[i];
        ASSERT_EQ(w.size(), 36u) << i;
        EXPECT_EQ(w[4], kinds[i]);
        // Port, the bytes around the kind, the PID, length and reserved: all zero.
        EXPECT_EQ(bytes(w, 0, 4), std::string(4, '\0'));
        EXPECT_EQ(bytes(w, 5, 3), std::string(3, '\0'));
        EXPECT_EQ(bytes(w, 18, 18), std::string(18, '\0'));
    }
    // Engines register the call found in "call from"; the others carry none.
    EXPECT_EQ(bytes(socket.Writes[0], 8, 10), "N0CALL\0\0\0\0"s);
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(bytes(socket.Writes[i], 8, 10), std::string(10, '\0'));

    const TAGWPort& ring = *client.Ports[0];
    EXPECT_EQ(ring.FramesOut, 4);
    EXPECT_EQ(ring.BytesOut, 144);
    EXPECT_EQ(ring.DataOut, 0);
}

TEST_F(Send, Register_RefusedWithoutCallsignOrSocket)
{
    EXPECT_FALSE(client.Register());
    EXPECT_FALSE(client.Unregister());

    TAGWPE anonymous("");
    anonymous.AttachSocket(&socket, 1);
    EXPECT_FALSE(anonymous.Register());
    EXPECT_FALSE(anonymous.Unregister());
    EXPECT_TRUE(socket.Writes.empty());
    EXPECT_EQ(anonymous.Ports[0]->FramesOut, 0);
}

TEST_F(Send, Unregister_CarriesTheCallsign)
{
    client.AttachSocket(&socket, 1);
    ASSERT_TRUE(client.Unregister());
    ASSERT_EQ(socket.Writes.size(), 1u);
    EXPECT_EQ(socket.Writes[0], agw::frame(0, 'x', "N0CALL", "", ""));
}

TEST_F(Send, SendFrame_HeaderAndDataInOneWrite)
{
    client.AttachSocket(&socket, 1);
    ASSERT_TRUE(client.SendFrame(0, 'D', "AB1CD", "EF2GH-15", 3, "a\0b"s));
    ASSERT_EQ(socket.Writes.size(), 1u);
    const std::string& w = socket.Writes[0];
    ASSERT_EQ(w.size(), 39u);
    EXPECT_EQ(bytes(w, 28, 8), "\x03\0\0\0\0\0\0\0"s);
    EXPECT_EQ(bytes(w, 8, 10), "AB1CD\0\0\0\0\0"s);
    EXPECT_EQ(bytes(w, 18, 10), "EF2GH-15\0\0"s);
    EXPECT_EQ(bytes(w, 36, 3), "a\0b"s);
    EXPECT_EQ(client.Ports[0]->BytesOut, 39);
    EXPECT_EQ(client.Ports[0]->DataOut, 3);
}

TEST_F(Send, SendFrame_LengthIsLittleEndianOverAllFourBytes)
{
    client.AttachSocket(&socket, 1);
    for (const uint32_t n : {255u, 256u, 300u, 65536u, 70000u}) {
        ASSERT_TRUE(client.SendFrame(0, 'D', "", "", static_cast<int32_t>(n), std::string(n, 'z')));
        EXPECT_EQ(agw::lengthField(socket.Writes.back()), n);
    }
    EXPECT_EQ(bytes(socket.Writes[2], 28, 4), "\x2c\x01\0\0"s);
    EXPECT_EQ(bytes(socket.Writes[3], 28, 4), "\0\0\x01\0"s);
}

TEST_F(Send, SendFrame_CallsOfTenFillTheFieldAndLongerAreCut)
{
    client.AttachSocket(&socket, 1);
    client.SendFrame(0, 'C', "ABCDEFGHIJ", "KLMNOPQRSTUVWX", 0, "");
    EXPECT_EQ(bytes(socket.Writes[0], 8, 20), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(socket.Writes[0].size(), 36u);
}

TEST_F(Send, SendFrame_RefusesWhatWouldHarmTheEngine)
{
    EXPECT_FALSE(client.SendFrame(0, 'G', "", "", 0, "")); // no socket
    client.AttachSocket(&socket, 1);
    EXPECT_FALSE(client.SendFrame(0, 'M', "", "", 0, ""));
    EXPECT_FALSE(client.SendFrame(0, 'U', "", "", 0, ""));
    // 'K' would put a raw frame on the air; 'k' only asks for raw frames.
    EXPECT_FALSE(client.SendFrame(0, 'K', "", "", 0, ""));
    EXPECT_FALSE(client.SendFrame(1, 'G', "", "", 0, "")); // one port served
    // A length that is not the data's would shift every later header.
    EXPECT_FALSE(client.SendFrame(0, 'D', "", "", 5, "abc"));
    EXPECT_FALSE(client.SendFrame(0, 'D', "", "", 0, "abc"));
    EXPECT_FALSE(client.SendFrame(0, 'D', "", "", -1, ""));
    EXPECT_TRUE(socket.Writes.empty());
    EXPECT_EQ(client.Ports[0]->FramesOut, 0);
    EXPECT_EQ(client.Ports[0]->BytesOut, 0);
    for (const char k : std::string("XCGdmkDHgx"))
        EXPECT_TRUE(client.SendFrame(0, k, "", "", 0, "")) << k;
}

TEST_F(Send, SendFrame_WithManyPortsGoesOutOnItsOwnRing)
{
    client.AttachSocket(&socket, 128);
    ASSERT_TRUE(client.SendFrame(127, 'G', "", "", 0, ""));
    EXPECT_EQ(static_cast<uint8_t>(socket.Writes[0][0]), 127);
    ASSERT_TRUE(client.Ports[127]);
    EXPECT_EQ(client.Ports[127]->FramesOut, 1);
    EXPECT_EQ(client.Ports[127]->PortNumber, 128);
    EXPECT_FALSE(client.SendFrame(128, 'G', "", "", 0, ""));
}

TEST_F(Send, Counters_WrapAsPlainThirtyTwoBitSums)
{
    client.AttachSocket(&socket, 1);
    TAGWPort& ring = *client.Ports[0];
    ring.BytesOut = INT32_MAX;
    ring.FramesOut = INT32_MAX;
    ASSERT_TRUE(client.SendFrame(0, 'G', "", "", 0, ""));
    EXPECT_EQ(ring.FramesOut, INT32_MIN);
    EXPECT_EQ(ring.BytesOut, INT32_MIN + 35);
}

TEST_F(Send, DetachedNeverAttached_ThenAttachAndRegisterSendsAll)
{
    EXPECT_TRUE(client.DetachSocket());
    EXPECT_FALSE(client.Register());
    client.AttachSocket(&socket, 1);
    EXPECT_TRUE(client.Register());
    EXPECT_EQ(socket.Writes.size(), 4u);
    client.DetachSocket();
    EXPECT_FALSE(client.Register());
    EXPECT_EQ(socket.Writes.size(), 4u);
    EXPECT_EQ(client.CallSign, "N0CALL");
}
