// What each platform's backend of local_render_data provides besides LocalRenderData::get():
// per-thread storage of the record whose clean-up, ReleaseThreadRenderData, runs on each thread
// that still holds a record when it ends.
#pragma once

struct ThreadRenderData;

// Stores `record` (or none) as the calling thread's record, without releasing the one stored
// before. False when the platform cannot hold it.
bool StoreThreadRecord(ThreadRenderData* record);
