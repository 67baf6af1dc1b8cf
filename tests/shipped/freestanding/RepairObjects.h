/* The shipped build's repair entry points, by their mangled names, and a
 * call of Win1251ToUTF8's handler as the UI runtime makes it. Link with
 * RuntimeStubs.c and the objects Win1251Scalar, Win1251Sse2,
 * ConvertWin1251ToUTF8, ResultBuffer and ProcessorSse2. */
#pragma once
#include <stddef.h>
#include <stdint.h>

typedef struct TextExtent {
  size_t length;
  size_t firstHigh;
} TextExtent;

TextExtent MeasureScalar(const char* text) __asm__("__ZN7win125113MeasureScalarEPKc");
size_t RepairScalar(const char* in, TextExtent extent, char* out) __asm__("__ZN7win125112RepairScalarEPKc10TextExtentPc");
TextExtent MeasureSse2(const char* text) __asm__("__ZN7win125111MeasureSse2EPKc");
size_t RepairSse2(const char* in, TextExtent extent, char* out) __asm__("__ZN7win125110RepairSse2EPKc10TextExtentPc");
size_t RepairSse2InOnePass(const char* in, char* out, size_t capacity)
    __asm__("__ZN7win125119RepairSse2InOnePassEPKcPcj");
/* What RepairSse2InOnePass returns when the text needs more room. */
#define kNotRepaired ((size_t)-1)

/* The UI runtime's records, as on the game's platform. */
typedef struct UiValue {
  void* objectInterface;
  uint32_t kindWord;
  const char* text;
  uint32_t payloadHigh;
} UiValue;

typedef struct FunctionCallRecord {
  UiValue* result;
  void* unread[3];
  UiValue* args;
  uint32_t argCount;
} FunctionCallRecord;

void __attribute__((thiscall)) HandleCall(void* self, FunctionCallRecord* call)
    __asm__("__ZN34SKSEScaleform_ConvertWin1251ToUTF810HandleCallER18FunctionCallRecord");

/* A handler object (the repair reads nothing of it) and the call record of
 * a call with the one argument `text`. */
static char handler_object[8];

static inline FunctionCallRecord* handler_call(const char* text) {
  static UiValue result, argument;
  static FunctionCallRecord call;
  argument.kindWord = 4; /* a string, not managed */
  argument.text = text;
  call.result = &result;
  call.args = &argument;
  call.argCount = 1;
  return &call;
}

/* The result the call left: its string, or null when it is undefined. */
static inline const char* handler_result(const FunctionCallRecord* call) {
  return (call->result->kindWord & 0x8F) == 4 ? call->result->text : NULL;
}

static inline const char* call_handler(const char* text) {
  FunctionCallRecord* const call = handler_call(text);
  HandleCall(handler_object, call);
  return handler_result(call);
}
