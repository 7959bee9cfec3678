#!/usr/bin/perl
# Rewrites an uncompressed 8-bit bottom-up BMP as a run-length encoded one
# (BI_RLE8) with the same pixels, keeping the palette only up to the highest
# index the pixels use (the indices and the entries they name stay as they
# are). ImageMagick writes RLE8 with runs only and always a full palette;
# the launcher's logo, a gradient with antialiased text, comes out about a
# fifth smaller this way.
#
# usage: bmp-rle8.pl INPUT.bmp OUTPUT.bmp
use strict;
use warnings;

@ARGV == 2 or die "usage: bmp-rle8.pl INPUT.bmp OUTPUT.bmp\n";
my ($input, $output) = @ARGV;

open(my $in, '<:raw', $input) or die "$input: $!\n";
my $bmp = do { local $/; <$in> };
close $in;

length($bmp) >= 54 && substr($bmp, 0, 2) eq 'BM' or die "$input: not a BMP file\n";
my $offset = unpack('V', substr($bmp, 10, 4));
my ($info_size, $width, $height, $planes, $bits, $compression, undef, $xppm, $yppm, $colours) =
    unpack('V l< l< v v V V l< l< V', substr($bmp, 14, 40));
$info_size == 40 && $planes == 1 && $bits == 8 && $compression == 0
    or die "$input: not an uncompressed 8-bit BMP with a BITMAPINFOHEADER\n";
$width > 0 && $height > 0 or die "$input: not a bottom-up bitmap\n";
$colours = 256 if $colours == 0;
$colours <= 256 && 54 + 4 * $colours <= $offset or die "$input: bad palette\n";
my $stride = ($width + 3) & ~3;
length($bmp) >= $offset + $stride * $height or die "$input: pixel data cut short\n";

my @rows = map { [unpack('C*', substr($bmp, $offset + $_ * $stride, $width))] } 0 .. $height - 1;
my $used = 0;
for my $row (@rows) {
    for (@$row) { $used = $_ + 1 if $_ >= $used }
}
$used <= $colours or die "$input: a pixel names a colour past the palette\n";

# One row, the cheapest way: each piece is either a run (a count of 1 to 255
# and the index, 2 bytes) or an absolute stretch (0, a count of 3 to 255, the
# indices, padded to an even length). Rows end with 0 0; the bitmap with 0 1.
sub encode_row {
    my ($row) = @_;
    my $n = @$row;
    my @cost = (0, (1e9) x $n);
    my @from;    # [start, absolute?] of the piece that ends at each position
    for my $i (0 .. $n - 1) {
        my $base = $cost[$i];
        my $j = $i;
        while ($j < $n && $row->[$j] == $row->[$i] && $j - $i < 255) {
            $j++;
            if ($base + 2 < $cost[$j]) {
                $cost[$j] = $base + 2;
                $from[$j] = [$i, 0];
            }
        }
        for my $count (3 .. ($n - $i < 255 ? $n - $i : 255)) {
            my $c = $base + 2 + $count + ($count & 1);
            if ($c < $cost[$i + $count]) {
                $cost[$i + $count] = $c;
                $from[$i + $count] = [$i, 1];
            }
        }
    }
    my @pieces;
    for (my $end = $n; $end > 0; $end = $from[$end][0]) {
        my ($start, $absolute) = @{$from[$end]};
        my $count = $end - $start;
        if ($absolute) {
            my $piece = pack('C C C*', 0, $count, @$row[$start .. $end - 1]);
            $piece .= "\0" if $count & 1;
            unshift @pieces, $piece;
        } else {
            unshift @pieces, pack('C C', $count, $row->[$start]);
        }
    }
    return join('', @pieces) . "\0\0";
}

my $pixels = join('', map { encode_row($_) } @rows) . "\0\1";
my $palette = substr($bmp, 54, 4 * $used);
my $start = 14 + 40 + length($palette);
my $file = pack('a2 V v v V', 'BM', $start + length($pixels), 0, 0, $start)
    . pack('V l< l< v v V V l< l< V V', 40, $width, $height, 1, 8, 1, length($pixels),
           $xppm, $yppm, $used, $used)
    . $palette . $pixels;

open(my $out, '>:raw', $output) or die "$output: $!\n";
print $out $file or die "$output: $!\n";
close $out or die "$output: $!\n";
