// The test server's one class: a counter reached through a custom interface.
#pragma once
#include <objbase.h>

// {6C1E4A52-9B3D-4F70-8E21-5A7D0C3B9F14}
constexpr CLSID CLSID_TestCounter = {
    0x6C1E4A52, 0x9B3D, 0x4F70, {0x8E, 0x21, 0x5A, 0x7D, 0x0C, 0x3B, 0x9F, 0x14}};
// {0A4F7C93-2E6B-4D18-B5C0-7E9D3A1F6B28}
constexpr IID IID_ICounter = {
    0x0A4F7C93, 0x2E6B, 0x4D18, {0xB5, 0xC0, 0x7E, 0x9D, 0x3A, 0x1F, 0x6B, 0x28}};
#define TEST_COUNTER_PROGID WSTR("QuorvaneTest.Counter")

struct ICounter : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Add(LONG amount) = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(LONG* value) = 0;
};

// Export of the test server: how many of its objects are alive.
typedef LONG (*LPFNLIVEOBJECTS)(void);
