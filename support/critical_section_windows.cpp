#include "support/critical_section.h"

CCriticalSection::CCriticalSection() { InitializeCriticalSection(&Section); }

CCriticalSection::~CCriticalSection() { DeleteCriticalSection(&Section); }

void CCriticalSection::Enter() { EnterCriticalSection(&Section); }

void CCriticalSection::Leave() { LeaveCriticalSection(&Section); }
