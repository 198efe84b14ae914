#pragma once
// A small message set that uses every field kind; the presence indexes of `inner` and `anything`
// are swapped against their slots so that tests can tell the two apart.
#include "platform/messages/MessageMacros.h"

#define LM_FIELDS_TestInner(X)         \
    X(0, 0, Int64, id, void)           \
    X(1, 1, Text, label, void)
LM_MESSAGE(LMTest, TestInner, 99, 1, 0, LM_FIELDS_TestInner)

#define LM_FIELDS_TestOther(X) X(1, 1, Int64, value, void)
LM_MESSAGE(LMTest, TestOther, 99, 2, 0x7700000000ull, LM_FIELDS_TestOther)

#define LM_FIELDS_TestAll(X)                              \
    X(1, 1, Int64, number, void)                          \
    X(2, 2, Text, text, void)                             \
    X(3, 3, Password, secret, void)                       \
    X(4, 4, Bytes, blob, void)                            \
    X(5, 5, IntList, ints, void)                          \
    X(6, 6, UIntList, uints, void)                        \
    X(7, 7, UInt64List, bigs, void)                       \
    X(8, 8, MessageList, inners, LMTest::TestInner)       \
    X(9, 10, Message, inner, LMTest::TestInner)           \
    X(10, 9, MessageList, anything, CNMessageBase)        \
    X(12, 11, Text, other, void)
LM_MESSAGE(LMTest, TestAll, 99, 3, 0, LM_FIELDS_TestAll)
