// The live preview: two files written in turn and a link that names the
// newest good one, so a reader following the link never sees a file that
// is being written.
#pragma once

struct Preview {
    char name[sizeof "/tmp/video0-0.jpeg"]; // the file the next preview goes to
    char link[sizeof "/tmp/video0.jpeg"];
};

void start_preview(Preview* preview);
// Writes the doubled `frame` (704 x 288) as JPEG and points the link at it.
void write_preview(Preview* preview, unsigned char* frame);
