/* The end-to-end cases. Each runs in a process of its own, because the
 * plug-in's state is process-wide. */
#ifndef E2E_CASES_H
#define E2E_CASES_H

void case_query_refusals(const char* dllPath);
void case_load_and_register(const char* dllPath);
void case_save_file(const char* dllPath);
void case_save_file_refusals(const char* dllPath);
void case_win1251(const char* dllPath);
void case_log_fallback(const char* dllPath);

#endif
