<?php
// The server's side of PARVEX.OCX in one script, for PHP's built-in server
//     PARVEX_STORE=/srv/mail/store php -S 127.0.0.1:8080 examples/server/router.php
// or for PHP-FPM behind nginx (every request to this script; see README.md).
//
//   POST /upload      multipart/form-data: fname (the file's name, may hold
//                     "folder\name"), uname (the control's unique name),
//                     uptype (0 general, 1 big), upfile (the file)
//                     -> 200 "|TS_UP_OK|" when stored, else 200 with a text
//                        the user reads in the control's "Upload Fail" box
//   POST /exists      one field "file" -> 200 "1" when that name is stored,
//                     "0" when not
//   GET  /files/NAME  the stored file NAME (percent-escaped UTF-8 path)
//                     -> 200 with Content-Length, or 404; with ETag and
//                        Last-Modified, and "Range: bytes=N-" answered with
//                        206 and Content-Range (416 past the end) unless an
//                        If-Range names another version: then the whole file
//
// Files live in the folder $PARVEX_STORE names, by default store/ in the
// folder the server was started from. With $PARVEX_SESSION_COOKIE set to
// "name=value", every request must carry that cookie (a stand-in for the
// mail's login session; the controls send the browser's cookies). No name from the client is used as a
// path before it is checked: every part of it must be a plain name, so
// nothing lands outside the store.

const UPLOAD_OK = '|TS_UP_OK|';

// Every failure is answered with an HTTP/1.1 status: the control does not
// examine the status of an HTTP/1.0 reply to the exists check, so a dying
// script must never leave PHP's own "HTTP/1.0 500" behind.
function answer(int $status, string $body, string $type = 'text/plain; charset=utf-8'): void
{
    $reasons = [200 => 'OK', 400 => 'Bad Request', 403 => 'Forbidden', 404 => 'Not Found',
                405 => 'Method Not Allowed', 416 => 'Range Not Satisfiable', 500 => 'Internal Server Error'];
    header('HTTP/1.1 ' . $status . ' ' . ($reasons[$status] ?? 'Error'), true, $status);
    header('Content-Type: ' . $type);
    header('Content-Length: ' . strlen($body));
    echo $body;
}

set_exception_handler(function (Throwable $e): void {
    error_log('router.php: ' . $e->getMessage());
    if (!headers_sent()) answer(500, "server error\n");
});
// A fatal error (memory, time) passes no handler; PHP would answer it with
// its own "HTTP/1.0 500" and an empty body, which the exists check reads as
// "not there".
register_shutdown_function(function (): void {
    $error = error_get_last();
    if ($error !== null && ($error['type'] & (E_ERROR | E_CORE_ERROR | E_COMPILE_ERROR)) && !headers_sent()) {
        error_log('router.php: ' . $error['message']);
        answer(500, "server error\n");
    }
});
set_error_handler(function (int $level, string $message, string $file, int $line): bool {
    throw new ErrorException($message, 0, $level, $file, $line);
});

function store_folder(): string
{
    $folder = getenv('PARVEX_STORE');
    if ($folder === false || $folder === '') $folder = getcwd() . DIRECTORY_SEPARATOR . 'store';
    if (!is_dir($folder) && !mkdir($folder, 0775, true)) throw new RuntimeException("cannot make $folder");
    return realpath($folder);
}

// The parts of a name from the client ("a\b.txt", "a/b.txt"), or null when
// any part is not a plain file name.
function name_parts(string $name): ?array
{
    if ($name === '' || strlen($name) > 1024 || preg_match('//u', $name) !== 1) return null;
    $parts = preg_split('#[\\\\/]#', $name);
    foreach ($parts as $part) {
        if ($part === '' || $part === '.' || $part === '..' || strlen($part) > 255) return null;
        if (preg_match('/[\x00-\x1F\x7F:]/', $part)) return null;
    }
    return $parts;
}

// Where a checked name lives in the store; folders are made when $make.
function stored_path(string $name, bool $make): ?string
{
    $parts = name_parts($name);
    if ($parts === null) return null;
    $path = store_folder() . DIRECTORY_SEPARATOR . implode(DIRECTORY_SEPARATOR, $parts);
    $folder = dirname($path);
    if ($make && !is_dir($folder) && !mkdir($folder, 0775, true)) return null;
    return $path;
}

// PHP's limits, as bytes.
function ini_bytes(string $key): int
{
    $v = trim((string) ini_get($key));
    $n = (int) $v;
    switch (strtolower(substr($v, -1))) {
        case 'g': $n *= 1024;
        case 'm': $n *= 1024;
        case 'k': $n *= 1024;
    }
    return $n;
}

function handle_upload(): void
{
    $length = (int) ($_SERVER['CONTENT_LENGTH'] ?? 0);
    $postMax = ini_bytes('post_max_size');
    if ($postMax > 0 && $length > $postMax) {
        // PHP dropped the whole body: raise post_max_size (and upload_max_filesize).
        answer(200, "파일이 서버의 한도(post_max_size)보다 큽니다.<br />");
        return;
    }
    $name = $_POST['fname'] ?? '';
    $file = $_FILES['upfile'] ?? null;
    if ($name === '' || $file === null) {
        answer(200, "요청에 fname, upfile 필드가 없습니다.<br />");
        return;
    }
    if ($file['error'] === UPLOAD_ERR_INI_SIZE || $file['error'] === UPLOAD_ERR_FORM_SIZE) {
        answer(200, "파일이 서버의 한도(upload_max_filesize)보다 큽니다.<br />");
        return;
    }
    if ($file['error'] !== UPLOAD_ERR_OK || !is_uploaded_file($file['tmp_name'])) {
        answer(200, "파일을 받지 못했습니다.<br />");
        return;
    }
    $target = stored_path($name, true);
    if ($target === null) {
        answer(200, "쓸 수 없는 파일 이름입니다.<br />");
        return;
    }
    // In beside the target, then renamed: a reader never sees half a file.
    $partial = $target . '.part-' . bin2hex(random_bytes(4));
    if (!move_uploaded_file($file['tmp_name'], $partial) || !rename($partial, $target)) {
        @unlink($partial);
        answer(500, "could not store the file\n");
        return;
    }
    answer(200, UPLOAD_OK);
}

function handle_exists(): void
{
    $path = stored_path($_POST['file'] ?? '', false);
    answer(200, $path !== null && is_file($path) ? '1' : '0');
}

// The validators of a stored file: a strong ETag that changes whenever the
// file is replaced (an upload renames a new file into place) or rewritten,
// and its modification date.
function file_version(string $path): array
{
    $stat = stat($path);
    $tag = sprintf('"%x-%x-%x"', $stat['ino'], $stat['size'], $stat['mtime']);
    return [$tag, gmdate('D, d M Y H:i:s', $stat['mtime']) . ' GMT'];
}

// The bytes [first, last] a Range asks for; null for the whole file (no
// Range, one that is not "bytes=N-" or "bytes=N-M", or an If-Range naming
// another version); false when it starts past the end.
function requested_range(int $size, string $etag, string $modified)
{
    $range = trim($_SERVER['HTTP_RANGE'] ?? '');
    if (!preg_match('/^bytes=(\d{1,18})-(\d{0,18})$/', $range, $m)) return null;
    $ifRange = trim($_SERVER['HTTP_IF_RANGE'] ?? '');
    if ($ifRange !== '' && $ifRange !== $etag && $ifRange !== $modified) return null;
    $first = (int) $m[1];
    if ($first >= $size) return false;
    $last = $m[2] === '' ? $size - 1 : min((int) $m[2], $size - 1);
    return $last < $first ? null : [$first, $last];
}

// count bytes of the open file from where it stands.
function send_bytes($file, int $count): void
{
    while ($count > 0 && !feof($file)) {
        $block = fread($file, min(1 << 16, $count));
        if ($block === false || $block === '') return;
        echo $block;
        $count -= strlen($block);
    }
}

function handle_download(string $escapedName): void
{
    $path = stored_path(rawurldecode($escapedName), false);
    if ($path === null || !is_file($path)) {
        answer(404, "no such file\n");
        return;
    }
    $size = filesize($path);
    [$etag, $modified] = file_version($path);
    header('ETag: ' . $etag);
    header('Last-Modified: ' . $modified);
    header('Accept-Ranges: bytes');
    $range = requested_range($size, $etag, $modified);
    if ($range === false) {
        header('Content-Range: bytes */' . $size);
        answer(416, '');
        return;
    }
    [$first, $last] = $range ?? [0, $size - 1];
    if ($range !== null) {
        header('HTTP/1.1 206 Partial Content', true, 206);
        header("Content-Range: bytes $first-$last/$size");
    } else {
        header('HTTP/1.1 200 OK', true, 200);
    }
    header('Content-Type: application/octet-stream');
    header('Content-Length: ' . ($last - $first + 1));
    $file = fopen($path, 'rb');
    if ($first > 0) fseek($file, $first);
    send_bytes($file, $last - $first + 1);
    fclose($file);
}

// True when the request belongs to the session, or no session is asked for.
function in_session(): bool
{
    $wanted = getenv('PARVEX_SESSION_COOKIE');
    if ($wanted === false || $wanted === '') return true;
    [$name, $value] = array_pad(explode('=', $wanted, 2), 2, '');
    return isset($_COOKIE[$name]) && hash_equals($value, (string) $_COOKIE[$name]);
}

$method = $_SERVER['REQUEST_METHOD'] ?? 'GET';
$target = $_SERVER['REQUEST_URI'] ?? '/';
$path = parse_url($target, PHP_URL_PATH) ?? '/';
if (!in_session()) {
    // The upload's refusal is read by the user; the others need a status.
    if ($path === '/upload') answer(200, "로그인이 필요합니다.<br />");
    else answer(403, "log in first\n");
} elseif ($method === 'POST' && $path === '/upload') {
    handle_upload();
} elseif ($method === 'POST' && $path === '/exists') {
    handle_exists();
} elseif ($method === 'GET' && strncmp($path, '/files/', 7) === 0) {
    handle_download(substr($path, 7));
} else {
    answer($method === 'GET' || $method === 'POST' ? 404 : 405, "not here\n");
}
